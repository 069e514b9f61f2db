// The registry hive parser on any text: it accepts the text or names the line of the
// first fault, never crashes or hangs. A hive it accepts, written out, reads back and
// writes out to the same text.
#include "fuzz/FuzzSupport.h"
#include "platform/registry/HiveFile.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// The one call into the parser, so that a change of its entry point changes only this.
bool ParseHive(std::string_view text, CHiveKey& root, SHiveParseError& error) {
    root = CHiveKey{};
    root.m_strName = "HKEY_CURRENT_USER";
    return ReadHiveText(text, root, error);
}

void Fail(const char* pszWhat, const SHiveParseError& error = {}) {
    std::fprintf(stderr, "%s (line %d: %s)\n", pszWhat, error.m_nLine, error.m_strReason.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PinFuzzEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
    const std::string_view text(reinterpret_cast<const char*>(pData), nSize);
    CHiveKey root;
    SHiveParseError error;
    if (!ParseHive(text, root, error)) {
        if (error.m_nLine < 0 || error.m_strReason.empty())
            Fail("a refused hive gives no reason", error);
        return 0;
    }
    const std::string written = WriteHiveText(root);
    CHiveKey again;
    if (!ParseHive(written, again, error))
        Fail("a written hive does not read back", error);
    if (WriteHiveText(again) != written)
        Fail("a written hive reads back otherwise");
    return 0;
}
