// A host that keeps giving the same occurrence of a series: every walk over occurrences
// ends all the same.
#include "engine/Archive.h"
#include "engine/CountAppointments.h"
#include "engine/Export.h"
#include "host/HostInterfaces.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/dialogs/HeadlessSurface.h"
#include "settings/Options.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

HOSTTIME Day1(int nHour = 0) {
    return MakeLocalTimeValue(2026, 12, 1, nHour);
}

// The application, its datebook, the list of the datebook's one appointment and that
// appointment, all in one object: a daily series from 1 December 2026 09:00 whose every
// next occurrence is its first, found, the position never moving.
class CStuckHost final : public CComObject<CStuckHost, IHostApplication, IHostDatebook,
                                           IHostAppointmentList, IHostAppointment> {
public:
    int m_nExceptions = 0;
    int m_nDeletes = 0;

    HRESULT GetAddinCommands(IHostAddinCommands**) override { return E_NOTIMPL; }
    HRESULT GetCurrentUser(IHostUser**) override { return E_NOTIMPL; }
    HRESULT GetDatebook(IDispatch** pp) override { return Self<IHostDatebook>(pp); }
    HRESULT GetAppointments(HOSTTIME, HOSTTIME, IHostAppointmentList** pp) override {
        return Self<IHostAppointmentList>(pp);
    }
    HRESULT AddAppointment(HOSTTIME, HOSTTIME, BSTR, IHostAppointment**) override {
        return E_NOTIMPL;
    }
    HRESULT GetAppointmentById(LONG, IHostAppointment**) override { return E_NOTIMPL; }
    HRESULT GetCount(LONG* pn) override { return Give(pn, 1); }
    HRESULT Item(LONG, IHostAppointment** pp) override { return Self<IHostAppointment>(pp); }

    HRESULT GetStart(HOSTTIME* pt) override { return Give(pt, Day1(9)); }
    HRESULT GetEnd(HOSTTIME* pt) override { return Give(pt, Day1(10)); }
    HRESULT GetUntimed(BOOL* pb) override { return Give(pb, FALSE); }
    HRESULT SetUntimed(BOOL) override { return E_NOTIMPL; }
    HRESULT GetText(BSTR* pbstr) override { return Give(pbstr, SysAllocString(u"stuck")); }
    HRESULT SetText(BSTR) override { return E_NOTIMPL; }
    HRESULT GetNote(BSTR* pbstr) override { return Give(pbstr, nullptr); }
    HRESULT SetNote(BSTR) override { return E_NOTIMPL; }
    HRESULT GetRepeating(BOOL* pb) override { return Give(pb, TRUE); }
    HRESULT GetExceptionCount(LONG* pn) override { return Give(pn, 0); }
    HRESULT GetAlarm(BOOL* pb) override { return Give(pb, FALSE); }
    HRESULT SetAlarm(BOOL) override { return E_NOTIMPL; }
    HRESULT AddException(HOSTTIME) override { return Give(&m_nExceptions, m_nExceptions + 1); }
    HRESULT GetFirstOccurrence(HOSTTIME, HOSTTIME, HOSTTIME* ptPosition, BOOL* pbFound) override {
        *pbFound = TRUE;
        return Give(ptPosition, Day1());
    }
    HRESULT GetNextOccurrence(HOSTTIME*, HOSTTIME, HOSTTIME* ptOccurrence, BOOL* pbFound) override {
        *pbFound = TRUE;
        return Give(ptOccurrence, Day1());
    }
    HRESULT SetAlarmAdvance(LONG, LONG) override { return E_NOTIMPL; }
    HRESULT GetAlarmAdvance(LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT GetRepeat(LONG* plType, LONG* plInterval, HOSTTIME* ptEnd, LONG* plExtra) override {
        *plType = *plInterval = 1;
        *plExtra = 0;
        return Give(ptEnd, 0);
    }
    HRESULT SetRepeat(LONG, LONG, HOSTTIME, LONG) override { return E_NOTIMPL; }
    HRESULT GetRepeatType(LONG* pn) override { return Give(pn, 1); }
    HRESULT GetCategory(BSTR* pbstr) override { return Give(pbstr, nullptr); }
    HRESULT SetCategory(BSTR) override { return E_NOTIMPL; }
    HRESULT GetRecordId(LONG* pn) override { return Give(pn, 1); }
    HRESULT GetPrivate(BOOL* pb) override { return Give(pb, FALSE); }
    HRESULT SetPrivate(BOOL) override { return E_NOTIMPL; }
    HRESULT Delete(LONG) override { return Give(&m_nDeletes, m_nDeletes + 1); }

private:
    template <class T, class V> static HRESULT Give(T* p, V value) {
        *p = static_cast<T>(value);
        return S_OK;
    }
    template <class I, class P> HRESULT Self(P** pp) {
        *pp = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
};

class StuckHostTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetUserServices(&m_ui);
        m_pHost = CComPtr<CStuckHost>(new CStuckHost);
        m_pOptions = std::make_unique<COptions>();
        m_pOptions->SetHostApplication(static_cast<IHostApplication*>(m_pHost.Get()));
        m_pOptions->m_bFullFormat = 0;
    }
    void TearDown() override {
        m_pOptions.reset();
        SetUserServices(nullptr);
        CVarnoTest::TearDown();
    }

    CHeadlessUserServices m_ui;
    CComPtr<CStuckHost> m_pHost;
    std::unique_ptr<COptions> m_pOptions;
};

TEST_F(StuckHostTest, TheCountAndTheSimpleExportTakeOneOccurrence) {
    EXPECT_EQ(numAppointments(*m_pOptions), 1);
    EXPECT_EQ(ExportSimple(TempPath("stuck.csv"), m_pOptions->GetExportFrom(),
                           m_pOptions->GetExportTo(), *m_pOptions, nullptr),
              1);
}

TEST_F(StuckHostTest, RemoveAllMakesOneException) {
    EXPECT_EQ(RemoveAll(*m_pOptions, nullptr), 1);
    EXPECT_EQ(m_pHost->m_nExceptions, 1);
}

TEST_F(StuckHostTest, ASeriesWithAnOccurrenceIsNotArchived) {
    EXPECT_EQ(MarkForArchival(*m_pOptions, m_pHost.Get(), Day1() + 86400 * 10, -1), 0);
    EXPECT_EQ(m_pHost->m_nDeletes, 0);
}

} // namespace
