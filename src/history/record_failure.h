#pragma once

#include <string>

// The last failure to record an upload, for `kelvarin-history status`: kept
// beside the history (PATH.last-failure), or in Kelvarin's data folder when
// the history's own folder cannot be written.
void KeepRecordFailure(const std::string& historyPath, const std::string& message);

// "TIME message" of the newest kept failure; empty when there is none.
std::string LastRecordFailure(const std::string& historyPath);
