#pragma once

#include <cstdint>

#include "protocol/record.h"
#include "protocol/record_list.h"
#include "winapi/carray.h"

// Decodes one record payload, appends it to `records` and shows it as a row
// of `list`: ID at position id, then DATA, UNIT and PASS in that row.
void StoreAndListRecord(const std::uint8_t* payload, CArray<Tag_UserData_Type>& records,
                        RecordList& list);
