// Every user setting of the program in one record: export format and date range, CSV
// punctuation, import switches, archive threshold, last file, field layouts and filter
// rows. Persisted one value per setting below HKEY_CURRENT_USER, in the main options key
// or in the key of a saved option set.
#pragma once

#include "engine/RecordFilter.h"
#include "fields/FieldLayout.h"
#include "model/DateText.h"
#include "platform/com/ComPtr.h"

#include <cstdint>
#include <string>

struct IDispatch;

class COptions {
public:
    // Default values, the default field layouts and an empty filter.
    COptions();
    ~COptions();
    // A copy holds the same values and host reference; its layout belongs to the copy.
    COptions(const COptions& other);
    COptions& operator=(const COptions& other);

    // Every persisted value to its default; points the field layout at this record.
    // The layouts' content and the filter rows are not touched.
    void SetDefaults();

    // The main options key.
    void Load();
    void Save() const;
    // A value missing from the key keeps the record's current content.
    void LoadFromKey(const std::string& strKeyPath);
    void SaveToKey(const std::string& strKeyPath) const;

    // Same persisted content, filter rows and field layouts; the set title is not
    // compared.
    [[nodiscard]] bool IsSameAs(const COptions& other) const;

    // The export date range: today at 00:00:00 minus "daysback" days, and today at
    // 23:59:00 plus "daysahead" days, both kept at that local time of day across a
    // daylight-saving change.
    [[nodiscard]] TimeValue GetExportFrom() const;
    [[nodiscard]] TimeValue GetExportTo() const;
    // "daysback" and "daysahead" from chosen dates (whole days, counted in standard time).
    void SetExportFrom(TimeValue tDate);
    void SetExportTo(TimeValue tDate);

    // The host's application object; a new reference is taken.
    void SetHostApplication(IDispatch* pApplication);
    [[nodiscard]] IDispatch* GetHostApplication() const { return m_pHostApplication.Get(); }
    // The name of the host's current user. Raises the host-call exception (CComError):
    // E_POINTER without a host object or interface, else the failing call's status.
    [[nodiscard]] std::string GetCurrentUserName() const;

    // Persisted values, named after their registry values. Flags are 0 (off) or nonzero
    // (on) and compare as numbers.
    std::int32_t m_nMinSize = 0;             // "minsize": archive threshold in bytes
    std::int32_t m_bNoDuplicates = 0;        // "noduplicates": import skips duplicates
    std::int32_t m_bFullFormat = 0;          // "fullformat": one row per appointment
    std::int32_t m_bIgnoreImportErrors = 0;  // "ignoreimporterrors"
    std::int32_t m_bExportNoCr = 0;          // "exportnocr": remove line breaks on export
    std::int32_t m_nDaysAhead = 0;           // "daysahead": end of the export range
    std::int32_t m_nDaysBack = 0;            // "daysback": start of the export range
    std::int32_t m_nDefaultApptLength = 0;   // "defaultapptlength": minutes
    std::string m_strSeparator;              // "separator": CSV field separator
    std::string m_strQuote;                  // "quote": CSV quote text
    std::string m_strExceptionDateSeparator; // "exceptiondateseparator"
    std::string m_strLastFile;               // "lastfile": file last chosen
    std::int32_t m_bDateWithTime = 0;        // "datewithtime": date inside time fields
    std::int32_t m_bUseCategories = 0;       // "usecategories": carried only
    std::string m_strSetTitle;               // "settitle": title of a saved set

    CFieldLayout m_layout;
    CRecordFilter m_filter;

private:
    CComPtr<IDispatch> m_pHostApplication;
};
