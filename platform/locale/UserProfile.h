// The regional part of a user profile. A home's regional settings and code page are fixed
// when the home is first used, from the locale of the process that uses it first, so that
// every later run reads and writes dates, separators and text the same way whatever its own
// environment (a cron job has no locale at all).
#pragma once

// The value under HKEY_CURRENT_USER\Control Panel\International naming the locale the
// settings were derived from ("de-DE"); month names and what the seven values leave out
// follow it instead of the process locale.
inline constexpr const char* kLocaleNameValue = "LocaleName";

// When the home has no LocaleName yet: writes it, every regional value the home lacks and,
// when missing, the system code page ("ACP"), all derived from the process locale. Values
// already stored are kept. Registry failures are not reported (the settings then follow the
// process, as before); gives true when it wrote the profile.
bool CreateUserProfile();

// Derives the profile anew from the process locale, replacing the stored values.
void ResetUserProfile();
