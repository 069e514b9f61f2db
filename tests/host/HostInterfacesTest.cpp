// The host interfaces are a binary contract: each operation must sit in its vtable slot.
// The slot of a virtual member function is read from its pointer-to-member value, which
// under the Itanium C++ ABI (GCC and Clang on Linux) holds 1 + the slot's byte offset.
#include "host/HostInterfaces.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

template <class T, class F> long SlotOf(F T::*pmf) {
    struct SRep {
        std::uintptr_t m_nPtr;
        std::ptrdiff_t m_nAdj;
    } rep{};
    static_assert(sizeof pmf == sizeof rep);
    std::memcpy(&rep, &pmf, sizeof rep);
    EXPECT_EQ(rep.m_nPtr % 2, 1u) << "not a virtual function";
    return static_cast<long>((rep.m_nPtr - 1) / sizeof(void*));
}

TEST(HostInterfaces, OperationsSitInTheirSlots) {
    EXPECT_EQ(SlotOf(&IUnknown::QueryInterface), 0);
    EXPECT_EQ(SlotOf(&IUnknown::Release), 2);
    EXPECT_EQ(SlotOf(&IDispatch::GetTypeInfoCount), 3);
    EXPECT_EQ(SlotOf(&IDispatch::Invoke), 6);

    EXPECT_EQ(SlotOf(&IHostApplication::GetAddinCommands), 7);
    EXPECT_EQ(SlotOf(&IHostApplication::GetCurrentUser), 9);
    EXPECT_EQ(SlotOf(&IHostApplication::GetDatebook), 11);

    EXPECT_EQ(SlotOf(&IHostAddinCommands::RegisterCommand), 7);
    EXPECT_EQ(SlotOf(&IHostAddinCommands::AddCommandMenuItem), 8);

    EXPECT_EQ(SlotOf(&IHostUser::GetName), 8);

    EXPECT_EQ(SlotOf(&IHostDatebook::GetAppointments), 11);
    EXPECT_EQ(SlotOf(&IHostDatebook::AddAppointment), 14);
    EXPECT_EQ(SlotOf(&IHostDatebook::GetAppointmentById), 17);

    EXPECT_EQ(SlotOf(&IHostAppointmentList::GetCount), 9);
    EXPECT_EQ(SlotOf(&IHostAppointmentList::Item), 10);

    using A = IHostAppointment;
    EXPECT_EQ(SlotOf(&A::GetStart), 10);
    EXPECT_EQ(SlotOf(&A::GetEnd), 14);
    EXPECT_EQ(SlotOf(&A::GetUntimed), 18);
    EXPECT_EQ(SlotOf(&A::SetUntimed), 19);
    EXPECT_EQ(SlotOf(&A::GetText), 20);
    EXPECT_EQ(SlotOf(&A::SetText), 21);
    EXPECT_EQ(SlotOf(&A::GetNote), 22);
    EXPECT_EQ(SlotOf(&A::SetNote), 23);
    EXPECT_EQ(SlotOf(&A::GetRepeating), 24);
    EXPECT_EQ(SlotOf(&A::GetExceptionCount), 25);
    EXPECT_EQ(SlotOf(&A::GetAlarm), 26);
    EXPECT_EQ(SlotOf(&A::SetAlarm), 27);
    EXPECT_EQ(SlotOf(&A::AddException), 28);
    EXPECT_EQ(SlotOf(&A::GetFirstOccurrence), 32);
    EXPECT_EQ(SlotOf(&A::GetNextOccurrence), 34);
    EXPECT_EQ(SlotOf(&A::SetAlarmAdvance), 36);
    EXPECT_EQ(SlotOf(&A::GetAlarmAdvance), 37);
    EXPECT_EQ(SlotOf(&A::GetRepeat), 38);
    EXPECT_EQ(SlotOf(&A::SetRepeat), 40);
    EXPECT_EQ(SlotOf(&A::GetRepeatType), 42);
    EXPECT_EQ(SlotOf(&A::GetCategory), 43);
    EXPECT_EQ(SlotOf(&A::SetCategory), 44);
    EXPECT_EQ(SlotOf(&A::GetRecordId), 45);
    EXPECT_EQ(SlotOf(&A::GetPrivate), 47);
    EXPECT_EQ(SlotOf(&A::SetPrivate), 48);
    EXPECT_EQ(SlotOf(&A::Delete), 49);

    EXPECT_EQ(SlotOf(&IHostAppointment2::GetLocation), 50);
    EXPECT_EQ(SlotOf(&IHostAppointment2::SetLocation), 51);
    EXPECT_EQ(SlotOf(&IHostAppointment2::SetStartEnd), 52);
}

TEST(HostInterfaces, IdentifiersAreTheHostsOwn) {
    EXPECT_EQ(FormatGuid(IID_IHostApplication), "{5C42CA62-42E9-11D4-80F2-00C04FA03755}");
    EXPECT_EQ(FormatGuid(IID_IHostUser), "{AC22F64D-46EF-11D4-80F7-00C04FA03755}");
    EXPECT_EQ(FormatGuid(IID_IHostDatebook), "{DBB9E436-4F89-11D4-8101-00C04FA03755}");
    EXPECT_EQ(FormatGuid(IID_IHostAppointmentList), "{DDEC8F2E-4F89-11D4-8101-00C04FA03755}");
    EXPECT_EQ(FormatGuid(IID_IHostAppointment), "{DD991CE0-4F89-11D4-8101-00C04FA03755}");
    EXPECT_EQ(FormatGuid(IID_IHostAppointment2), "{81BAE1BD-D7E7-4F31-AF9E-90B3FF65A524}");
    EXPECT_EQ(FormatGuid(IID_IHostAddinCommands), "{5BFDA630-42E9-11D4-80F2-00C04FA03755}");
}

} // namespace
