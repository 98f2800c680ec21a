#include "protocol/record_handler.h"

void StoreAndListRecord(const std::uint8_t* payload, CArray<Tag_UserData_Type>& records,
                        RecordList& list) {
    const Tag_UserData_Type record = DecodeRecord(payload);
    records.Add(record);
    // The texts go to the row the insert produced, not to row id - 1, so an
    // id of 0, a gap or a repeated id still shows its own values.
    const int row = list.InsertItem(record.id, IdText(record));
    if (row < 0) return;
    list.SetItemText(row, 1, DataText(record));
    list.SetItemText(row, 2, UnitText(record.unit));
    list.SetItemText(row, 3, PassText(record));
}
