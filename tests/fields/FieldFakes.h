// Stand-ins for the dialogs' list boxes and menus and a format that records the cells it
// is given, for the field layout tests.
#pragma once

#include "fields/FieldListBox.h"
#include "fields/FieldMenu.h"
#include "formats/FileFormat.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CFakeListBox final : public IFieldListBox {
public:
    void ResetContent() override { m_vecItems.clear(); }
    void AddItem(const std::string& strText, std::uint32_t nData) override {
        m_vecItems.emplace_back(strText, nData);
    }
    int GetCount() const override { return static_cast<int>(m_vecItems.size()); }
    std::uint32_t GetItemData(int nIndex) const override {
        return m_vecItems.at(static_cast<std::size_t>(nIndex)).second;
    }

    std::vector<std::pair<std::string, std::uint32_t>> m_vecItems;
};

class CFakeMenu final : public IFieldMenu {
public:
    void AppendItem(const std::string& strText, unsigned nCommandId) override {
        m_vecItems.emplace_back(strText, nCommandId);
    }

    std::vector<std::pair<std::string, unsigned>> m_vecItems;
};

// Each written cell is recorded as its kind and value: "T:text", "D:<time value>",
// "M:<time value>" (time), "S:<seconds>", "I:<number>"; each row end as "|".
class CRecordingFormat final : public CFileFormat {
public:
    EStatus OpenWrite(const std::string&) override { return STATUS_OK; }
    EStatus OpenRead(const std::string&) override { return STATUS_OK; }
    EStatus CloseWrite() override { return STATUS_OK; }
    EStatus CloseRead() override { return STATUS_OK; }
    EStatus EndRow() override { return Record("|"); }
    EStatus NextRow() override { return STATUS_FAILED; }
    EStatus WriteText(const std::string& s) override { return Record("T:" + s); }
    EStatus WriteDate(TimeValue t) override { return Record("D:" + std::to_string(t)); }
    EStatus WriteTime(TimeValue t) override { return Record("M:" + std::to_string(t)); }
    EStatus WriteSpan(TimeSpan ts) override { return Record("S:" + std::to_string(ts)); }
    EStatus WriteInt(std::int32_t n) override { return Record("I:" + std::to_string(n)); }
    EStatus ReadText(std::string&) override { return STATUS_FAILED; }
    EStatus ReadDate(TimeValue&) override { return STATUS_FAILED; }
    EStatus ReadTime(TimeValue&) override { return STATUS_FAILED; }
    EStatus ReadSpan(TimeSpan&) override { return STATUS_FAILED; }
    EStatus ReadInt(std::int32_t&) override { return STATUS_FAILED; }
    std::int32_t GetPosition() override { return 0; }
    std::int32_t GetSize() override { return 0; }
    std::string GetLastCell() const override { return {}; }
    void SetLastCell(const std::string&) override {}

    std::vector<std::string> m_vecCells;

private:
    EStatus Record(std::string s) {
        m_vecCells.push_back(std::move(s));
        return STATUS_OK;
    }
};
