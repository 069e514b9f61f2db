// The operations against the stand-in host: a fresh user home (CVarnoTest) with a datebook,
// the program's options pointing at the host, and a headless user interface that records
// every message box. Helpers seed the datebook through its store and read it back.
#pragma once

#include "desktop/CalendarDay.h"
#include "desktop/DatebookStore.h"
#include "desktop/DesktopHost.h"
#include "engine/Export.h"
#include "model/Appointment.h"
#include "platform/dialogs/HeadlessSurface.h"
#include "platform/locale/LocalTime.h"
#include "platform/shell/Shell.h"
#include "settings/Options.h"
#include "settings/RegistryValues.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace optest {

// yyyy-mm-dd as a calendar day of the datebook, and back.
inline int Day(const std::string& iso) {
    const std::optional<int> day = desktop::ParseIsoDay(iso);
    if (!day)
        throw std::invalid_argument("bad test date " + iso);
    return *day;
}

inline std::string Iso(int nDay) {
    return desktop::FormatIsoDay(nDay);
}

// A local time of the test's time zone.
inline HOSTTIME At(const std::string& iso, int nHour = 0, int nMinute = 0, int nSecond = 0) {
    const desktop::CCivilDate date = desktop::DateFromDay(Day(iso));
    return static_cast<HOSTTIME>(
        MakeLocalTime(date.m_nYear, date.m_nMonth, date.m_nDay, nHour, nMinute, nSecond).value());
}

inline std::u16string U16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

inline std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text)
        out += c < 0x100 ? static_cast<char>(c) : '?';
    return out;
}

// An end before the start falls on the next day.
inline CStoredAppointment Timed(const std::string& iso, int h1, int m1, int h2, int m2,
                                std::string_view text) {
    CStoredAppointment a;
    a.m_tStart = At(iso, h1, m1);
    a.m_tEnd = At(iso, h2, m2);
    if (a.m_tEnd < a.m_tStart)
        a.m_tEnd = At(Iso(Day(iso) + 1), h2, m2);
    a.m_strText = U16(text);
    return a;
}

inline CStoredAppointment Untimed(const std::string& iso, std::string_view text) {
    CStoredAppointment a;
    a.m_tStart = a.m_tEnd = At(iso);
    a.m_bUntimed = true;
    a.m_strText = U16(text);
    return a;
}

// The repeat of a stored appointment; end "" for none.
inline CStoredAppointment Repeating(CStoredAppointment a, LONG nType, LONG nInterval,
                                    LONG nExtra = 0, const std::string& endIso = {}) {
    a.m_nRepeatType = nType;
    a.m_nRepeatInterval = nInterval;
    a.m_nRepeatExtra = nExtra;
    a.m_nRepeatEndDay = endIso.empty() ? CRepeatPattern::kNoEnd : Day(endIso);
    return a;
}

// Every value the datebook keeps, the record id aside; the alarm advance only with an
// alarm, the rule only for a series.
inline std::string Describe(const CStoredAppointment& a) {
    std::string s = Iso(desktop::LocalDayOf(a.m_tStart)) + " " + std::to_string(a.m_tStart) + "-" +
                    std::to_string(a.m_tEnd) + (a.m_bUntimed ? " untimed" : "") +
                    (a.m_bPrivate ? " private" : "") + " text=" + Narrow(a.m_strText) +
                    " note=" + Narrow(a.m_strNote) + " category=" + Narrow(a.m_strCategory) +
                    " location=" + Narrow(a.m_strLocation);
    if (a.m_bAlarm)
        s += " alarm=" + std::to_string(a.m_nAlarmAdvance) + "/" + std::to_string(a.m_nAlarmUnit);
    if (a.IsRepeating()) {
        s += " repeat=" + std::to_string(a.m_nRepeatType) + "/" +
             std::to_string(a.m_nRepeatInterval) + "/" + std::to_string(a.m_nRepeatExtra) +
             " end=" +
             (a.m_nRepeatEndDay == CRepeatPattern::kNoEnd ? "none" : Iso(a.m_nRepeatEndDay));
        for (const int d : a.m_vecExceptionDays)
            s += " except=" + Iso(d);
    }
    return s;
}

// One CSV row of the program's dialect: every cell quoted, ";" between cells, CR LF after.
inline std::string CsvRow(const std::vector<std::string>& cells) {
    std::string out;
    for (const std::string& cell : cells) {
        out += out.empty() ? "\"" : ";\"";
        for (const char c : cell)
            out += c == '"' ? std::string("\"\"") : std::string(1, c);
        out += '"';
    }
    return out + "\r\n";
}

// Splits a file of that dialect into rows of cells (a cell never holds CR LF).
inline std::vector<std::vector<std::string>> ParseCsv(const std::string& bytes) {
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0, n; (n = bytes.find("\r\n", i)) != std::string::npos; i = n + 2) {
        const std::string line = bytes.substr(i + 1, n - i - 2); // within the outer quotes
        std::vector<std::string>& row = rows.emplace_back();
        for (std::size_t nCell = 0, nNext = 0; nNext != std::string::npos; nCell = nNext + 3) {
            nNext = line.find("\";\"", nCell);
            std::string cell = line.substr(nCell, nNext - nCell);
            for (std::size_t q = cell.find("\"\""); q != std::string::npos;
                 q = cell.find('"', q + 1))
                cell.erase(q, 1);
            row.push_back(cell);
        }
    }
    return rows;
}

class COperationsTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetUserServices(&m_ui);
        m_pOptions = std::make_unique<COptions>();
        OpenHost({});
        m_pStore = std::make_unique<CDatebookStore>();
    }

    void TearDown() override {
        m_pOptions.reset();
        m_pHost = nullptr;
        m_pStore.reset();
        SetUserServices(nullptr);
        CVarnoTest::TearDown();
    }

    // A host with the test controls; the options point at it.
    void OpenHost(const CDesktopHostOptions& hostOptions) {
        m_pHost = OpenDesktopHost(hostOptions);
        m_pOptions->SetHostApplication(m_pHost.Get());
    }

    COptions& Options() { return *m_pOptions; }
    CDatebookStore& Store() { return *m_pStore; }
    std::int64_t UserId() { return m_pStore->CurrentUser().m_nId; }
    void NewUser(const std::string& name) { Store().SetCurrentUser(Store().AddUser(name).m_nId); }

    LONG Seed(const CStoredAppointment& a) { return m_pStore->AddAppointment(UserId(), a); }

    // Every live appointment of the current user, by start and id, and their texts.
    std::vector<CStoredAppointment> All() {
        return m_pStore->ListAppointments(UserId(), desktop::kFirstDatebookDay,
                                          desktop::kLastDatebookDay);
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (const CStoredAppointment& a : All())
            texts.push_back(Narrow(a.m_strText));
        return texts;
    }

    // The simple export over the options' date range.
    int ExportSimpleRange(const std::string& path, CProgressControl* pProgress = nullptr,
                          CExportOutcome* pOutcome = nullptr) {
        return ExportSimple(path, Options().GetExportFrom(), Options().GetExportTo(), Options(),
                            pProgress, pOutcome);
    }

    // The trace switch on, and the trace file's lines.
    static void TraceOn() { ASSERT_TRUE(WriteRegDword(kProductKey, "writetrace", 1)); }
    static std::vector<std::string> TraceLines() {
        std::vector<std::string> lines;
        std::istringstream in(ReadFileBytes(GetDocumentsFolder() + "/varno.txt"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    CHeadlessUserServices m_ui;
    std::unique_ptr<COptions> m_pOptions;
    CComPtr<IDispatch> m_pHost;
    std::unique_ptr<CDatebookStore> m_pStore;
};

} // namespace optest
