// IMAPITable: a cursor over a row source with a column set.
#include <memory>

#include "platform/core/fault.h"
#include "platform/mapi/objects.h"

namespace vardel::mapi {

namespace {

class Table final : public com::Object<kMapi, IMAPITable, &IID_IMAPITable> {
 public:
  Table(std::unique_ptr<RowSource> rows, std::string query_fault)
      : rows_(std::move(rows)),
        columns_(rows_->default_columns()),
        fault_(std::move(query_fault)) {}

  HRESULT SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) override {
    if (!lpPropTagArray || lpPropTagArray->cValues == 0) return MAPI_E_INVALID_PARAMETER;
    return guard([&] {
      columns_.assign(lpPropTagArray->aulPropTag,
                      lpPropTagArray->aulPropTag + lpPropTagArray->cValues);
      return S_OK;
    });
  }

  HRESULT QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) override {
    if (!lpPropTagArray) return MAPI_E_INVALID_PARAMETER;
    return guard([&] { return build_tag_array(columns_, lpPropTagArray); });
  }

  HRESULT GetRowCount(ULONG ulFlags, ULONG* lpulCount) noexcept override {
    if (!lpulCount) return MAPI_E_INVALID_PARAMETER;
    *lpulCount = rows_->count();
    return S_OK;
  }

  HRESULT SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) noexcept override {
    LONG from;
    switch (bkOrigin) {
      case BOOKMARK_BEGINNING:
        from = 0;
        break;
      case BOOKMARK_CURRENT:
        from = static_cast<LONG>(pos_);
        break;
      case BOOKMARK_END:
        from = static_cast<LONG>(rows_->count());
        break;
      default:
        return MAPI_E_INVALID_PARAMETER;
    }
    long long to = static_cast<long long>(from) + lRowCount;
    if (to < 0) to = 0;
    if (to > rows_->count()) to = rows_->count();
    if (lplRowsSought) *lplRowsSought = static_cast<LONG>(to - from);
    pos_ = static_cast<ULONG>(to);
    return S_OK;
  }

  HRESULT QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator,
                        ULONG* lpulDenominator) noexcept override {
    if (!lpulRow || !lpulNumerator || !lpulDenominator) return MAPI_E_INVALID_PARAMETER;
    *lpulRow = pos_;
    *lpulNumerator = pos_;
    *lpulDenominator = rows_->count();
    return S_OK;
  }

  // Gives up to lRowCount rows from the cursor, each with the column set in
  // order (a column the row lacks is PT_ERROR). At the end: a set of 0 rows.
  HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) override {
    if (!lppRows) return MAPI_E_INVALID_PARAMETER;
    *lppRows = nullptr;
    if (lRowCount < 0) return stub(u"IMAPITable::QueryRows backwards");
    return guard([&] {
      if (!fault_.empty())
        if (HRESULT hr = fault::check(fault_); FAILED(hr)) return hr;
      ULONG n = rows_->count() - pos_;
      if (static_cast<ULONG>(lRowCount) < n) n = static_cast<ULONG>(lRowCount);
      void* buf = nullptr;
      if (MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(n ? n : 1)), &buf) != S_OK)
        return MAPI_E_NOT_ENOUGH_MEMORY;
      // Frees the rows built so far when a later one fails.
      std::unique_ptr<SRowSet, decltype(&FreeProws)> set(static_cast<SRowSet*>(buf), &FreeProws);
      set->cRows = 0;
      for (ULONG i = 0; i < n; ++i) {
        const PropList& props = rows_->row(pos_ + i);
        SRow& row = set->aRow[i];
        row.ulAdrEntryPad = 0;
        HRESULT hr = build_props(props, columns_.data(), static_cast<ULONG>(columns_.size()),
                                 &row.cValues, &row.lpProps);
        if (FAILED(hr)) return hr;
        set->cRows = i + 1;
      }
      if (!(ulFlags & TBL_NOADVANCE)) pos_ += n;
      *lppRows = set.release();
      return S_OK;
    });
  }

 private:
  ~Table() override = default;

  std::unique_ptr<RowSource> rows_;
  std::vector<ULONG> columns_;
  std::string fault_;
  ULONG pos_ = 0;
};

}  // namespace

IMAPITable* create_table(std::unique_ptr<RowSource> rows, std::string query_fault) {
  return com::make<Table>(std::move(rows), std::move(query_fault));
}

}  // namespace vardel::mapi
