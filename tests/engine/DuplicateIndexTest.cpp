// The duplicate index answers exactly as listing and loading the whole datebook for every
// row does: compared answer by answer over random datebooks and rows, while the rows are
// added, updated and refused by the host, and over whole imports.
#include "engine/DuplicateIndex.h"

#include "engine/Import.h"
#include "formats/FormatSelection.h"
#include "host/HostCalls.h"
#include "host/HostStore.h"
#include "tests/engine/OperationsTestSupport.h"

#include <functional>
#include <map>
#include <memory>
#include <random>
#include <tuple>

using namespace optest;

namespace {

// Small pools of values, so that many rows meet the datebook.
const std::vector<std::string> kTexts = {"Meeting", " Meeting",  "Meeting\t", "meeting",
                                         "Lunch",   "Lunch\r\n", "  ",        "Call"};
const std::vector<std::string> kNotes = {"", "note", " note ", "a\r\nb"};
const std::vector<std::string> kLocations = {"", "Room 1", "Room 1 "};
const std::vector<std::string> kCategories = {"", "Work", "Home"};
const std::vector<std::string> kDays = {"1970-01-01", "1970-01-02", "2026-03-01",
                                        "2026-03-02", "2026-03-29", "2031-12-31"};

class CRandom {
public:
    explicit CRandom(unsigned nSeed) : m_engine(nSeed) {}
    int Int(int nLow, int nHigh) {
        return std::uniform_int_distribution<int>(nLow, nHigh)(m_engine);
    }
    bool Chance(int nPercent) { return Int(1, 100) <= nPercent; }
    template <class T> const T& Pick(const std::vector<T>& v) {
        return v[static_cast<std::size_t>(Int(0, static_cast<int>(v.size()) - 1))];
    }

private:
    std::mt19937 m_engine;
};

CStoredAppointment RandomStored(CRandom& r) {
    const std::string day = r.Pick(kDays);
    CStoredAppointment a =
        r.Chance(30) ? Untimed(day, "")
                     : Timed(day, r.Int(8, 9), r.Chance(50) ? 0 : 30, r.Int(10, 11), 0, "");
    a.m_strText = U16(r.Pick(kTexts));
    a.m_strNote = U16(r.Pick(kNotes));
    a.m_strLocation = U16(r.Pick(kLocations));
    a.m_strCategory = U16(r.Pick(kCategories));
    a.m_bPrivate = r.Chance(30);
    a.m_bAlarm = r.Chance(30);
    a.m_nAlarmUnit = r.Int(0, 1);
    a.m_nAlarmAdvance = 5 * r.Int(0, 2);
    if (r.Chance(40)) {
        a.m_nRepeatType = r.Int(1, 2);
        a.m_nRepeatInterval = r.Int(1, 2);
        a.m_nRepeatExtra = a.m_nRepeatType == 2 ? r.Int(1, 3) : 0;
        if (r.Chance(50))
            a.m_nRepeatEndDay = Day(day) + r.Int(1, 40);
    }
    return a;
}

// A file row with the values of a random record, or of one the datebook holds, then often
// changed in one value that the duplicate test looks at (or one it ignores).
void RandomRow(CRandom& r, IHostDatebook* pDatebook, CAppointment& a) {
    const CComPtr<IHostAppointmentList> pList = ListWholeDatebook(pDatebook);
    const LONG nCount = ListCount(pList.Get());
    a.Reset();
    a.m_strExceptions.clear();
    if (nCount == 0 || r.Chance(40) ||
        LoadFromHost(a, ListItem(pList.Get(), r.Int(0, nCount - 1)).Get()) != STATUS_OK) {
        const CStoredAppointment s = RandomStored(r);
        a.Reset();
        a.SetDate(At(Iso(desktop::LocalDayOf(s.m_tStart))));
        a.m_bUntimed = s.m_bUntimed;
        a.m_tStart = s.m_tStart;
        a.m_tEnd = s.m_tEnd;
        a.m_strText = Narrow(s.m_strText);
        a.m_strNote = Narrow(s.m_strNote);
        a.m_strLocation = Narrow(s.m_strLocation);
        a.m_bPrivate = s.m_bPrivate;
        a.m_bAlarm = s.m_bAlarm;
        a.m_nAlarmUnit = s.m_nAlarmUnit;
        a.m_nAlarmAdvance = s.m_nAlarmAdvance;
        a.m_bRepeat = s.IsRepeating();
        a.m_repeat = {s.m_nRepeatEndDay == CRepeatPattern::kNoEnd ? 0 : At(Iso(s.m_nRepeatEndDay)),
                      s.m_nRepeatInterval, s.IsRepeating() ? s.m_nRepeatType : 1, 0,
                      static_cast<std::uint8_t>(s.m_nRepeatExtra)};
    }
    a.m_nRecordId = 0;
    using FChange = std::function<void(CAppointment&)>;
    const FChange changes[] = {
        [&](CAppointment& x) { x.m_strText = " " + x.m_strText + "\t"; },
        [&](CAppointment& x) { x.m_strText += "x"; },
        [&](CAppointment& x) { x.m_strNote = r.Pick(kNotes); },
        [&](CAppointment& x) { x.m_strLocation = r.Pick(kLocations); },
        [&](CAppointment& x) { x.m_bUntimed = !x.m_bUntimed; },
        [&](CAppointment& x) { x.SetDate(x.m_tDate + 86400 * r.Int(-1, 1)); },
        [&](CAppointment& x) { x.m_tStart += 60 * r.Int(-30, 30); },
        [&](CAppointment& x) { x.m_tEnd += r.Chance(50) ? 30 : 3600; },
        [&](CAppointment& x) { x.m_bPrivate = !x.m_bPrivate; },
        [&](CAppointment& x) { x.m_bAlarm = !x.m_bAlarm; },
        [&](CAppointment& x) { x.m_nAlarmAdvance = 5 * r.Int(0, 1); },
        [&](CAppointment& x) { x.m_bRepeat = !x.m_bRepeat; },
        [&](CAppointment& x) { x.m_repeat.m_nInterval = r.Int(0, 2); },
        [&](CAppointment& x) { x.m_repeat.m_byWeekdays = static_cast<std::uint8_t>(r.Int(0, 3)); },
        [&](CAppointment& x) { x.m_repeat.m_nWeekIndex = r.Int(0, 5); },
        [&](CAppointment& x) {
            x.m_repeat.m_tEnd = r.Chance(50) ? 0 : x.m_tDate + 86400 * r.Int(1, 40);
        },
    };
    const int nChange = r.Int(0, 2 * static_cast<int>(std::size(changes)) - 1);
    if (nChange < static_cast<int>(std::size(changes)))
        changes[nChange](a);
    a.m_strCategory = r.Pick(kCategories); // not compared
}

class DuplicateIndexTest : public COperationsTest {
protected:
    void SeedRandom(CRandom& r, int nCount) {
        for (int i = 0; i < nCount; ++i) {
            CStoredAppointment a = RandomStored(r);
            if (r.Chance(3)) {
                a.m_tStart = 0; // a record the host cannot give a start for
                a.m_tEnd = 3600;
            }
            Seed(a);
        }
    }
};

TEST_F(DuplicateIndexTest, AnswersAsListingTheWholeDatebookForEveryRow) {
    for (const unsigned nSeed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE(nSeed);
        CRandom r(nSeed);
        NewUser("user " + std::to_string(nSeed));
        SeedRandom(r, 80);
        // The host refuses now and then, once also its removal of the half-stored record.
        OpenHost({{},
                  false,
                  {{"SetNote", 7, E_FAIL, "no"},
                   {"SetCategory", 19, E_FAIL, "no"},
                   {"SetRepeat", 5, E_FAIL, "no"},
                   {"SetRepeat", 9, E_FAIL, "no"},
                   {"Delete", 2, E_FAIL, "no"}}});
        const CDatebookAccess access = OpenDatebookWithoutList(Options());
        IHostDatebook* pDatebook = access.m_pDatebook.Get();
        CDuplicateIndex index(&Options());
        index.Load(pDatebook);

        CAppointment row(&Options());
        int nDuplicates = 0;
        for (int i = 0; i < 250; ++i) {
            RandomRow(r, pDatebook, row);
            const bool bListed = IsDuplicateInHost(Options(), pDatebook, row);
            ASSERT_EQ(index.Contains(row), bListed) << "row " << i;
            nDuplicates += bListed ? 1 : 0;
            if (bListed)
                continue;
            const std::vector<CStoredAppointment> all = All();
            if (r.Chance(20) && !all.empty()) {
                // Change an existing appointment to the row's values.
                row.m_nRecordId =
                    all[static_cast<std::size_t>(r.Int(0, static_cast<int>(all.size()) - 1))]
                        .m_nRecordId;
                const CComPtr<IHostAppointment> p =
                    FindHostAppointmentById(pDatebook, row.m_nRecordId);
                ASSERT_TRUE(p);
                (void)UpdateInHost(row, p.Get());
                index.Refresh(pDatebook, row.m_nRecordId);
            } else {
                CStoreResult result;
                (void)AddToHost(row, pDatebook, &result);
                if (result.m_nRecordId != 0)
                    index.Refresh(pDatebook, result.m_nRecordId);
            }
        }
        EXPECT_GT(nDuplicates, 20);
        EXPECT_LT(nDuplicates, 230);
        // Refusals were met and answered.
        EXPECT_FALSE(m_ui.m_vecShown.empty());
    }
}

TEST_F(DuplicateIndexTest, WholeImportsEndTheSameEitherWay) {
    CRandom r(7);
    const std::int64_t nFirst = UserId();
    SeedRandom(r, 60);
    const std::int64_t nSecond = Store().AddUser("second").m_nId;
    for (const CStoredAppointment& a : All())
        Store().AddAppointment(nSecond, a);

    // Rows from random records in the default full-format layout.
    const std::string path = TempPath("random.csv");
    {
        const std::unique_ptr<CFileFormat> pFile = OpenExportFile(path, Options());
        ASSERT_TRUE(pFile);
        ASSERT_EQ(Options().m_layout.WriteFullHeader(*pFile), STATUS_OK);
        CAppointment row(&Options());
        const CDatebookAccess access = OpenDatebookWithoutList(Options());
        for (int i = 0; i < 150; ++i) {
            RandomRow(r, access.m_pDatebook.Get(), row);
            if (row.m_bRepeat && row.m_repeat.m_nInterval == 0)
                row.m_repeat.m_nInterval = 1;
            if (row.m_strText == "  ")
                row.m_strText = "blank";
            ASSERT_EQ(Options().m_layout.WriteFullRow(*pFile, row), STATUS_OK);
        }
        ASSERT_EQ(pFile->CloseWrite(), STATUS_OK);
    }

    Options().m_bIgnoreImportErrors = 1;
    auto importInto = [&](std::int64_t nUser, bool bListPerRow) {
        Store().SetCurrentUser(nUser);
        OpenHost({{}, false, {{"SetNote", 11, E_FAIL, "no"}, {"SetRepeat", 3, E_FAIL, "no"}}});
        CImportStatistics stats;
        EXPECT_EQ(ImportFile(path, Options(), nullptr, {false, nullptr, &stats, bListPerRow}), 0);
        std::vector<std::string> described;
        for (const CStoredAppointment& a : All())
            described.push_back(Describe(a));
        std::sort(described.begin(), described.end());
        return std::make_pair(stats, described);
    };
    const auto [indexed, indexedValues] = importInto(nFirst, false);
    const auto [listed, listedValues] = importInto(nSecond, true);
    EXPECT_EQ(indexed.m_nAdded, listed.m_nAdded);
    EXPECT_EQ(indexed.m_nDuplicates, listed.m_nDuplicates);
    EXPECT_EQ(indexed.m_nRefused, listed.m_nRefused);
    EXPECT_EQ(indexed.m_nRejected, listed.m_nRejected);
    EXPECT_GT(indexed.m_nDuplicates, 10);
    EXPECT_GT(indexed.m_nAdded, 10);
    EXPECT_GT(indexed.m_nRefused, 0);
    EXPECT_EQ(indexedValues, listedValues);
}

} // namespace

namespace {

// A record of every kind of value the duplicate test compares, with a zero inside its note.
void FillComparedValues(CAppointment& a) {
    a.m_strText = " Meeting ";
    a.m_strNote = std::string("a\0b\r\nc", 6);
    a.m_strLocation = "Room 4";
    a.m_strCategory = "Work";
    a.m_tDate = MakeLocalTimeValue(2026, 3, 1);
    a.m_tStart = MakeLocalTimeValue(2026, 3, 1, 9, 30);
    a.m_tEnd = MakeLocalTimeValue(2026, 3, 1, 10, 0);
    a.m_bPrivate = true;
    a.m_bAlarm = true;
    a.m_nAlarmUnit = ALARM_MINUTES;
    a.m_nAlarmAdvance = 5;
    a.m_bRepeat = true;
    a.m_repeat.m_nType = REPEAT_WEEKLY;
    a.m_repeat.m_nInterval = 2;
    a.m_repeat.m_tEnd = MakeLocalTimeValue(2026, 6, 30);
    a.m_repeat.m_byWeekdays = 0x0A;
}

} // namespace

// The index keeps only what the test compares: each of those values, changed alone, makes a
// different appointment; white space around the texts, the category and the record id do
// not. A record put again under its id replaces what the index held.
TEST_F(DuplicateIndexTest, EveryComparedValueSurvivesTheIndex) {
    struct SCase {
        const char* m_pszName;
        std::function<void(CAppointment&)> m_change;
        bool m_bSame;
    };
    const std::vector<SCase> cases = {
        {"identical", [](CAppointment&) {}, true},
        {"blanks around the texts",
         [](CAppointment& a) {
             a.m_strText += "\t";
             a.m_strNote = " " + a.m_strNote + " ";
             a.m_strLocation += "\r\n";
         },
         true},
        {"category", [](CAppointment& a) { a.m_strCategory = "Home"; }, true},
        {"record id", [](CAppointment& a) { a.m_nRecordId = 77; }, true},
        {"text", [](CAppointment& a) { a.m_strText = "Meetings"; }, false},
        {"note after its zero", [](CAppointment& a) { a.m_strNote[2] = 'x'; }, false},
        {"text and note split elsewhere",
         [](CAppointment& a) {
             a.m_strText = "Meeting a";
             a.m_strNote.erase(0, 1);
         },
         false},
        {"location", [](CAppointment& a) { a.m_strLocation = "Room 5"; }, false},
        {"untimed", [](CAppointment& a) { a.m_bUntimed = true; }, false},
        {"day",
         [](CAppointment& a) {
             a.m_tDate += 86400;
             a.m_tStart += 86400;
             a.m_tEnd += 86400;
         },
         false},
        {"start", [](CAppointment& a) { a.m_tStart += 60; }, false},
        {"end", [](CAppointment& a) { a.m_tEnd += 60; }, false},
        {"private", [](CAppointment& a) { a.m_bPrivate = false; }, false},
        {"repeat", [](CAppointment& a) { a.m_bRepeat = false; }, false},
        {"repeat type", [](CAppointment& a) { a.m_repeat.m_nType = REPEAT_DAILY; }, false},
        {"interval", [](CAppointment& a) { a.m_repeat.m_nInterval = 3; }, false},
        {"repeat end", [](CAppointment& a) { a.m_repeat.m_tEnd += 86400; }, false},
        {"weekdays", [](CAppointment& a) { a.m_repeat.m_byWeekdays = 0x0B; }, false},
        // The index's record sounds its alarm five minutes ahead; the file's does not.
        {"no alarm", [](CAppointment& a) { a.m_bAlarm = false; }, false},
    };
    CDuplicateIndex index(&Options());
    CAppointment stored(&Options());
    FillComparedValues(stored);
    index.Put(stored, 5);
    for (const SCase& c : cases) {
        CAppointment file(&Options());
        FillComparedValues(file);
        c.m_change(file);
        EXPECT_EQ(index.Contains(file), c.m_bSame) << c.m_pszName;
    }

    // An alarm of no minutes ahead is the same as none; its unit and amount are kept.
    for (const auto& [nUnit, nAdvance, bSame] : std::vector<std::tuple<int, int, bool>>{
             {ALARM_MINUTES, 0, true}, {ALARM_HOURS, 0, true}, {ALARM_DAYS, 1, false}}) {
        CAppointment silent(&Options());
        FillComparedValues(silent);
        silent.m_nAlarmUnit = nUnit;
        silent.m_nAlarmAdvance = nAdvance;
        CDuplicateIndex other(&Options());
        other.Put(silent, 9);
        silent.m_bAlarm = false;
        EXPECT_EQ(other.Contains(silent), bSame) << nUnit << " " << nAdvance;
    }

    CAppointment changed(&Options());
    FillComparedValues(changed);
    changed.m_strText = "Moved";
    index.Put(changed, 5);
    EXPECT_EQ(index.Size(), 1u);
    EXPECT_FALSE(index.Contains(stored));
    EXPECT_TRUE(index.Contains(changed));
    index.Put(stored, 0); // an id of its own
    index.Put(stored, 0);
    EXPECT_EQ(index.Size(), 3u);
    EXPECT_TRUE(index.Contains(stored));
}

// Records put, put again under their ids (replaced) and moved out of the range, thousands of
// times over, with notes long enough that the texts left behind are compacted several times:
// the index answers as a plain list of the records it should hold, compared one by one.
TEST_F(DuplicateIndexTest, ReplacedRecordsAnswerAsAPlainList) {
    CRandom r(11);
    CDuplicateIndex index(&Options());
    std::map<LONG, std::unique_ptr<CAppointment>> held;
    const auto makeRecord = [&](CAppointment& a) {
        a.Reset();
        a.m_strText = r.Pick(kTexts);
        // Long notes fill text chunks fast; short ones often share a group.
        a.m_strNote = r.Chance(30) ? std::string(static_cast<std::size_t>(r.Int(20000, 60000)),
                                                 static_cast<char>('a' + r.Int(0, 2)))
                                   : r.Pick(kNotes);
        a.m_strLocation = r.Pick(kLocations);
        a.m_bUntimed = r.Chance(30);
        a.SetDate(At(r.Pick(kDays)));
        a.m_tStart = a.m_tDate + 3600 * r.Int(8, 9);
        a.m_tEnd = a.m_tStart + 1800 * r.Int(1, 2);
        a.m_bAlarm = r.Chance(30);
        a.m_nAlarmAdvance = 5 * r.Int(0, 1);
        a.m_bRepeat = r.Chance(30);
        a.m_repeat.m_nInterval = 1;
    };
    CAppointment probe(&Options());
    for (int i = 0; i < 3000; ++i) {
        const LONG nId = r.Int(1, 300);
        auto pRecord = std::make_unique<CAppointment>(&Options());
        makeRecord(*pRecord);
        if (r.Chance(10))
            pRecord->SetDate(At("1960-01-01")); // before the range: the id leaves the index
        index.Put(*pRecord, nId);
        if (CDuplicateIndex::IsInDatebookRange(*pRecord))
            held[nId] = std::move(pRecord);
        else
            held.erase(nId);
        ASSERT_EQ(index.Size(), held.size()) << "step " << i;

        makeRecord(probe);
        bool bListed = false;
        for (const auto& [nHeldId, pHeld] : held)
            bListed = bListed || pHeld->IsSameAppointment(probe);
        ASSERT_EQ(index.Contains(probe), bListed) << "step " << i;
        // A record held is found, whatever became of the records around it.
        if (held.empty())
            continue;
        const auto it = std::next(held.begin(), r.Int(0, static_cast<int>(held.size()) - 1));
        ASSERT_TRUE(index.Contains(*it->second)) << "step " << i;
    }
    // What is held stays near what the live records need.
    std::size_t nLive = 0;
    for (const auto& [nId, pHeld] : held)
        nLive += pHeld->m_strText.size() + pHeld->m_strNote.size() + pHeld->m_strLocation.size();
    EXPECT_LT(index.MemoryUsed(), 3 * nLive + (std::size_t{16} << 20));
}
