// A host that keeps giving the same occurrence of a series: every walk over occurrences
// ends all the same.
#include "engine/Archive.h"
#include "engine/CountAppointments.h"
#include "engine/Export.h"
#include "host/HostInterfaces.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/dialogs/UserServices.h"
#include "settings/Options.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

HOSTTIME Day1(int nHour = 0) {
    return MakeLocalTimeValue(2026, 12, 1, nHour);
}

class CStuckAppointment final : public CComObject<CStuckAppointment, IHostAppointment> {
public:
    int m_nExceptions = 0;
    int m_nDeletes = 0;

    HRESULT GetStart(HOSTTIME* pt) override { return Give(pt, Day1(9)); }
    HRESULT GetEnd(HOSTTIME* pt) override { return Give(pt, Day1(10)); }
    HRESULT GetUntimed(BOOL* pb) override { return Give(pb, FALSE); }
    HRESULT SetUntimed(BOOL) override { return E_NOTIMPL; }
    HRESULT GetText(BSTR* pbstr) override {
        *pbstr = SysAllocString(u"stuck");
        return S_OK;
    }
    HRESULT SetText(BSTR) override { return E_NOTIMPL; }
    HRESULT GetNote(BSTR* pbstr) override {
        *pbstr = nullptr;
        return S_OK;
    }
    HRESULT SetNote(BSTR) override { return E_NOTIMPL; }
    HRESULT GetRepeating(BOOL* pb) override { return Give(pb, TRUE); }
    HRESULT GetExceptionCount(LONG* pn) override { return Give(pn, 0); }
    HRESULT GetAlarm(BOOL* pb) override { return Give(pb, FALSE); }
    HRESULT SetAlarm(BOOL) override { return E_NOTIMPL; }
    HRESULT AddException(HOSTTIME) override {
        ++m_nExceptions;
        return S_OK;
    }
    HRESULT GetFirstOccurrence(HOSTTIME, HOSTTIME, HOSTTIME* ptPosition, BOOL* pbFound) override {
        *ptPosition = Day1();
        *pbFound = TRUE;
        return S_OK;
    }
    // Always the same day, always found, the position never moving.
    HRESULT GetNextOccurrence(HOSTTIME*, HOSTTIME, HOSTTIME* ptOccurrence, BOOL* pbFound) override {
        *ptOccurrence = Day1();
        *pbFound = TRUE;
        return S_OK;
    }
    HRESULT SetAlarmAdvance(LONG, LONG) override { return E_NOTIMPL; }
    HRESULT GetAlarmAdvance(LONG*, LONG*) override { return E_NOTIMPL; }
    HRESULT GetRepeat(LONG* plType, LONG* plInterval, HOSTTIME* ptEnd, LONG* plExtra) override {
        *plType = 1;
        *plInterval = 1;
        *ptEnd = 0;
        *plExtra = 0;
        return S_OK;
    }
    HRESULT SetRepeat(LONG, LONG, HOSTTIME, LONG) override { return E_NOTIMPL; }
    HRESULT GetRepeatType(LONG* pn) override { return Give(pn, 1); }
    HRESULT GetCategory(BSTR* pbstr) override {
        *pbstr = nullptr;
        return S_OK;
    }
    HRESULT SetCategory(BSTR) override { return E_NOTIMPL; }
    HRESULT GetRecordId(LONG* pn) override { return Give(pn, 1); }
    HRESULT GetPrivate(BOOL* pb) override { return Give(pb, FALSE); }
    HRESULT SetPrivate(BOOL) override { return E_NOTIMPL; }
    HRESULT Delete(LONG) override {
        ++m_nDeletes;
        return S_OK;
    }

private:
    template <class T, class V> static HRESULT Give(T* p, V value) {
        *p = static_cast<T>(value);
        return S_OK;
    }
};

class CStuckList final : public CComObject<CStuckList, IHostAppointmentList> {
public:
    explicit CStuckList(CStuckAppointment* p) : m_pItem(p) {}
    HRESULT GetCount(LONG* pn) override {
        *pn = 1;
        return S_OK;
    }
    HRESULT Item(LONG, IHostAppointment** pp) override {
        *pp = CComPtr<IHostAppointment>(m_pItem.Get()).Detach();
        return S_OK;
    }

private:
    CComPtr<CStuckAppointment> m_pItem;
};

class CStuckDatebook final : public CComObject<CStuckDatebook, IHostDatebook> {
public:
    explicit CStuckDatebook(CStuckAppointment* p) : m_pItem(p) {}
    HRESULT GetAppointments(HOSTTIME, HOSTTIME, IHostAppointmentList** pp) override {
        *pp = CComPtr<IHostAppointmentList>(new CStuckList(m_pItem.Get())).Detach();
        return S_OK;
    }
    HRESULT AddAppointment(HOSTTIME, HOSTTIME, BSTR, IHostAppointment**) override {
        return E_NOTIMPL;
    }
    HRESULT GetAppointmentById(LONG, IHostAppointment**) override { return E_NOTIMPL; }

private:
    CComPtr<CStuckAppointment> m_pItem;
};

class CStuckApplication final : public CComObject<CStuckApplication, IHostApplication> {
public:
    explicit CStuckApplication(CStuckAppointment* p) : m_pItem(p) {}
    HRESULT GetAddinCommands(IHostAddinCommands**) override { return E_NOTIMPL; }
    HRESULT GetCurrentUser(IHostUser**) override { return E_NOTIMPL; }
    HRESULT GetDatebook(IDispatch** pp) override {
        *pp = CComPtr<IDispatch>(new CStuckDatebook(m_pItem.Get())).Detach();
        return S_OK;
    }

private:
    CComPtr<CStuckAppointment> m_pItem;
};

class StuckHostTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        SetUserServices(&m_ui);
        m_pItem = CComPtr<CStuckAppointment>(new CStuckAppointment);
        m_pApplication = CComPtr<IDispatch>(new CStuckApplication(m_pItem.Get()));
        m_pOptions = std::make_unique<COptions>();
        m_pOptions->SetHostApplication(m_pApplication.Get());
        m_pOptions->m_bFullFormat = 0;
    }
    void TearDown() override {
        m_pOptions.reset();
        SetUserServices(nullptr);
        CVarnoTest::TearDown();
    }

    CHeadlessUserServices m_ui;
    CComPtr<CStuckAppointment> m_pItem;
    CComPtr<IDispatch> m_pApplication;
    std::unique_ptr<COptions> m_pOptions;
};

TEST_F(StuckHostTest, TheCountTakesOneOccurrence) {
    EXPECT_EQ(numAppointments(*m_pOptions), 1);
}

TEST_F(StuckHostTest, TheSimpleExportWritesOneRow) {
    const std::string path = TempPath("stuck.csv");
    EXPECT_EQ(ExportSimple(path, m_pOptions->GetExportFrom(), m_pOptions->GetExportTo(),
                           *m_pOptions, nullptr),
              1);
}

TEST_F(StuckHostTest, RemoveAllMakesOneException) {
    EXPECT_EQ(RemoveAll(*m_pOptions, nullptr), 1);
    EXPECT_EQ(m_pItem->m_nExceptions, 1);
}

TEST_F(StuckHostTest, ASeriesWithAnOccurrenceIsNotArchived) {
    const CComPtr<CStuckDatebook> pDatebook(new CStuckDatebook(m_pItem.Get()));
    CComPtr<IHostAppointmentList> pList;
    ASSERT_EQ(pDatebook->GetAppointments(0, 0, pList.Put()), S_OK);
    EXPECT_EQ(MarkForArchival(*m_pOptions, pList.Get(), Day1() + 86400 * 10, -1), 0);
    EXPECT_EQ(m_pItem->m_nDeletes, 0);
}

} // namespace
