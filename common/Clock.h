#pragma once
// Replaceable sources of time: the millisecond tick count (wrapping at 2^32, like the
// platform's GetTickCount), today's short date text and the current long time text.
#include <QString>
#include <cstdint>
#include <functional>

namespace vz {

uint32_t GetTickCount();
QString shortDateText(); // e.g. "07.12.2026"
QString longTimeText();  // e.g. "14:05:09"

// Empty functions restore the real clock.
void setTickCountSource(std::function<uint32_t()> source);
void setShortDateSource(std::function<QString()> source);
void setLongTimeSource(std::function<QString()> source);

} // namespace vz
