// The diagnostic trace: while HKEY_CURRENT_USER\Software\Brenmark\VARNO "writetrace" is
// non-zero, each call appends one printf-formatted line to varno.txt in the documents
// folder. A change of the switch takes effect at the next line (within 50 ms when another
// process makes it); nothing is ever reported. The file is created readable by its user
// only; at 4 MB it is renamed to varno.txt.1 (replacing the older one) and a new one starts.
#pragma once

void WriteTrace(const char* pszFormat, ...) __attribute__((format(printf, 1, 2)));
