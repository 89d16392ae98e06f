// The time of a run as the review page shows it.
#pragma once

#include <string>

namespace tpjconv {

// "YYYY-MM-DDTHH:MM:SS+HH:MM" of a local time whose offset from UTC is `offset` minutes.
std::string iso_time(int year, int month, int day, int hour, int minute, int second,
                     long offset);

}  // namespace tpjconv
