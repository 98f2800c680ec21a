#pragma once

#include <chrono>
#include <optional>
#include <string>

// Times as the history stores them: ISO 8601 in UTC with milliseconds,
// "2026-12-07T21:40:12.345Z", which sort as texts in time order.
std::string UtcText(std::chrono::system_clock::time_point time);

// The first stored time at or after `text` (`isEnd` false), or the first
// after the whole span it names (`isEnd` true): a date covers its day, a
// time to the minute its minute, and so on. Accepts YYYY-MM-DD, optionally
// followed by T (or a space) and HH:MM[:SS[.fff]], then Z or +HH:MM / -HH:MM
// (UTC without). Empty for anything else.
std::optional<std::string> TimeBound(const std::string& text, bool isEnd);
