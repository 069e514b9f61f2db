// The diagnostic trace: while HKEY_CURRENT_USER\Software\Brenmark\VARNO "writetrace" is
// non-zero, each call appends one printf-formatted line to varno.txt in the documents
// folder. The switch is read on every call; nothing is ever reported.
#pragma once

void WriteTrace(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
