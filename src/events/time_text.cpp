#include "events/time_text.h"

#include <cstdio>

#include "events/calendar.h"

namespace qnvtab {
namespace {

constexpr uint32_t kSecondsPerDay = 86400;

char* writeTwoDigits(char* out, uint32_t value) {
  out[0] = static_cast<char>('0' + value / 10);
  out[1] = static_cast<char>('0' + value % 10);
  return out + 2;
}

// Seconds since 1980 always give in-range fields (years 1980 to 2116), so
// every field is two digits.
void writeClock(char* out, uint32_t hour, uint32_t minute, uint32_t second) {
  writeTwoDigits(writeTwoDigits(writeTwoDigits(out, hour), minute), second);
}

// "HH:MM:SS" of a second of the day.
void writeIsoClock(char* out, uint32_t secondOfDay) {
  out = writeTwoDigits(out, secondOfDay / 3600);
  *out++ = ':';
  out = writeTwoDigits(out, secondOfDay / 60 % 60);
  *out++ = ':';
  writeTwoDigits(out, secondOfDay % 60);
}

void writeMillisecond(char* out, uint32_t millisecond) {
  out[0] = static_cast<char>('0' + millisecond / 100);
  writeTwoDigits(out + 1, millisecond % 100);
}

}  // namespace

const char* DateTimeText::of(uint32_t seconds) {
  if (valid_ && seconds == seconds_) return text_;
  if (valid_ && seconds / kSecondsPerDay == seconds_ / kSecondsPerDay) {
    const uint32_t secondOfDay = seconds % kSecondsPerDay;
    writeClock(text_ + kTimeOffset, secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
  } else {
    DateTime dateTime;
    secondsToDateTime(seconds, &dateTime, kEpochYear);
    writeTwoDigits(writeTwoDigits(writeTwoDigits(text_, dateTime.day), dateTime.month),
                   dateTime.year % 100);
    text_[kDateSize] = '\t';
    writeClock(text_ + kTimeOffset, dateTime.hour, dateTime.minute, dateTime.second);
  }
  seconds_ = seconds;
  valid_ = true;
  return text_;
}

void writeIsoTime(char* out, EventTime time, char separator) {
  DateTime dateTime;
  secondsToDateTime(time.seconds, &dateTime, kEpochYear);
  out = writeTwoDigits(writeTwoDigits(out, dateTime.year / 100), dateTime.year % 100);
  *out++ = '-';
  out = writeTwoDigits(out, dateTime.month);
  *out++ = '-';
  out = writeTwoDigits(out, dateTime.day);
  *out++ = separator;
  writeIsoClock(out, time.seconds % kSecondsPerDay);
  out[8] = '.';
  writeMillisecond(out + 9, time.millisecond);
}

const char* IsoTimeText::of(EventTime time) {
  constexpr size_t kClockOffset = 11;  // after "YYYY-MM-DD "
  constexpr size_t kMillisecondOffset = 20;
  if (!valid_ || time.seconds / kSecondsPerDay != seconds_ / kSecondsPerDay) {
    writeIsoTime(text_, time);
  } else if (time.seconds != seconds_) {
    writeIsoClock(text_ + kClockOffset, time.seconds % kSecondsPerDay);
  }
  writeMillisecond(text_ + kMillisecondOffset, time.millisecond);
  seconds_ = time.seconds;
  valid_ = true;
  return text_;
}

std::string isoDate(TraceDate date) {
  char text[16];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u", date.year % 10000, date.month % 100,
                date.day % 100);
  return text;
}

std::string isoTime(TraceTime time) {
  char text[16];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", time.hour % 100, time.minute % 100,
                time.second % 100);
  return text;
}

std::string isoOffset(GmtOffset offset) {
  char text[16];
  std::snprintf(text, sizeof text, "%c%02u:%02u", offset.sign == 0xFF ? '-' : '+',
                unsigned{offset.hours}, unsigned{offset.minutes});
  return text;
}

}  // namespace qnvtab
