// The two-language string table. Every caption and message is asked for by
// its English id (from 30001); the German text lives at id + 1000. The
// program-wide language flag decides which one LoadStr returns.
#pragma once

#include <QString>

#include <cstdint>

inline constexpr std::uint8_t kLanguageEnglish = 0;
inline constexpr std::uint8_t kLanguageGerman = 1;
inline constexpr int kGermanOffset = 1000;

std::uint8_t LanguageFlag();
void SetLanguageFlag(std::uint8_t flag);

// The text of id + 1000 when the flag is exactly 1 (German), of id
// otherwise; an id the table does not hold gives an empty text.
QString LoadStr(int id);

// Table access for checks: the text stored under an exact id, and whether
// the id exists at all.
bool HasString(int id);
QString StringAt(int id);
// All ids of the table, ascending.
int StringCount();
int StringIdAt(int index);
