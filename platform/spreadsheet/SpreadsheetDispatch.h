// Late-bound dispatch for the spreadsheet component's objects: member names looked up
// without regard to letter case, arguments taken in the order the caller wrote them, and
// failures turned into the statuses and exception information callers expect.
#pragma once

#include "platform/com/ComObject.h"
#include "platform/com/Variant.h"

#include <cstddef>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

enum class EMemberKind : std::uint8_t {
    Get,    // property that can be read (with or without arguments)
    GetPut, // property that can be read and set
    Method, // operation called with DISPATCH_METHOD
};

struct SMember {
    std::u16string_view m_strName; // empty for the default member (DISPID_VALUE)
    DISPID m_dispid;
    EMemberKind m_kind;
};

// A call that the object cannot take: wrong member use, argument count or type. The
// argument index counts in the caller's order from 0, or is -1.
class CCallError : public std::exception {
public:
    explicit CCallError(HRESULT hr, int nArg = -1) : m_hr(hr), m_nArg(nArg) {}
    [[nodiscard]] HRESULT Status() const noexcept { return m_hr; }
    [[nodiscard]] int Argument() const noexcept { return m_nArg; }
    const char* what() const noexcept override { return "invalid automation call"; }

private:
    HRESULT m_hr;
    int m_nArg;
};

// A call that was understood but failed: the caller receives DISP_E_EXCEPTION with this
// description.
class CAutomationException : public std::runtime_error {
public:
    explicit CAutomationException(std::u16string description)
        : std::runtime_error("automation exception"), m_strDescription(std::move(description)) {}
    [[nodiscard]] const std::u16string& Description() const noexcept { return m_strDescription; }

private:
    std::u16string m_strDescription;
};

// The source named in exception information.
inline constexpr std::u16string_view kSpreadsheetSource = u"Spreadsheet";

// The positional arguments of one call, in the caller's order, and the value of a put.
class CInvokeArgs {
public:
    // Throws CCallError for named arguments other than the value of a put.
    CInvokeArgs(const DISPPARAMS* pParams, bool bPut);

    [[nodiscard]] std::size_t Count() const noexcept { return m_vecArgs.size(); }
    // Throws DISP_E_BADPARAMCOUNT unless nMin <= Count() <= nMax.
    void Expect(std::size_t nMin, std::size_t nMax) const;
    void Expect(std::size_t n) const { Expect(n, n); }

    // The argument, VT_BYREF | VT_VARIANT followed.
    [[nodiscard]] const VARIANT& At(std::size_t i) const { return *m_vecArgs.at(i); }
    // True for an argument that is absent or passed as "missing" (VT_ERROR with
    // DISP_E_PARAMNOTFOUND).
    [[nodiscard]] bool IsMissing(std::size_t i) const;
    // A whole number: integers, and doubles and dates rounded half to even.
    [[nodiscard]] LONG Long(std::size_t i) const;
    [[nodiscard]] double Double(std::size_t i) const;
    // A string argument (VT_BSTR only).
    [[nodiscard]] std::u16string_view String(std::size_t i) const;

    [[nodiscard]] const VARIANT& PutValue() const { return *m_pPutValue; }
    [[nodiscard]] double PutDouble() const;

private:
    std::vector<const VARIANT*> m_vecArgs;
    const VARIANT* m_pPutValue = nullptr;
};

// Names compared without regard to the letter case of A to Z, as member and sheet names are.
[[nodiscard]] bool SameName(std::u16string_view a, std::u16string_view b);

// The value behind VT_BYREF | VT_VARIANT, or the value itself.
[[nodiscard]] const VARIANT& Dereference(const VARIANT& value);

// GetIDsOfNames over a member table: the first name is the member; further names
// (parameter names) are not offered and give DISP_E_UNKNOWNNAME.
[[nodiscard]] HRESULT LookUpNames(std::span<const SMember> members, OLECHAR** rgszNames,
                                  UINT cNames, DISPID* rgDispId);

// The body of a member call: the member, whether it is a put, and the arguments; returns
// the result (empty for puts and for methods without one).
using FMemberCall = std::function<CVariant(const SMember&, bool, const CInvokeArgs&)>;

// Invoke over a member table: checks the member and the call kind, runs the call, and
// turns what it throws into a status (with EXCEPINFO filled and the thread's error
// information set for DISP_E_EXCEPTION). Nothing is thrown past this point.
[[nodiscard]] HRESULT InvokeMember(std::span<const SMember> members, DISPID dispid, WORD wFlags,
                                   DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO* pExcepInfo, UINT* puArgErr, const FMemberCall& call);

// An object that offers only IDispatch, with a member table Derived::Members() and a
// member body Derived::Call(member, bPut, args).
template <class Derived> class CAutomationObject : public CComObject<Derived, IDispatch> {
public:
    HRESULT GetIDsOfNames(const GUID&, OLECHAR** rgszNames, UINT cNames, LCID,
                          DISPID* rgDispId) override {
        return LookUpNames(Derived::Members(), rgszNames, cNames, rgDispId);
    }
    HRESULT Invoke(DISPID dispid, const GUID&, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        return InvokeMember(Derived::Members(), dispid, wFlags, pDispParams, pVarResult, pExcepInfo,
                            puArgErr,
                            [this](const SMember& member, bool bPut, const CInvokeArgs& args) {
                                return static_cast<Derived*>(this)->Call(member, bPut, args);
                            });
    }

protected:
    ~CAutomationObject() = default;
};

// A new object as a dispatch variant (the variant holds the one reference).
template <class T, class... Args> [[nodiscard]] CVariant NewObjectVariant(Args&&... args) {
    T* p = new T(std::forward<Args>(args)...);
    p->AddRef();
    CVariant result;
    result.vt = VT_DISPATCH;
    result.pdispVal = p;
    return result;
}
