// The one line, and the list behind it, that a window shows of the last copy run.
#pragma once

#include <cstdint>

#include "last_run.h"
#include "progress_view.h"

namespace qm {

// A moment as the clock on the wall shows it.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// `secondsSinceEpoch` (UTC) in the computer's time zone.
LocalTime localTimeOf(std::int64_t secondsSinceEpoch);

// The last run where a copy's outcome stands, started at `started` (local time): the
// line 「前回 12月8日 14:03 完了：1,234 ファイル（コピー 12、確認 300）」, or for a failed run
// 「前回 12月8日 14:03 失敗：<file>（<cause>）」, and behind it the job, the start, the time
// taken and every count.
CopyOutcome lastRunOutcome(const LastRun& run, const LocalTime& started);

}  // namespace qm
