#include "app/UiFont.h"

#include <array>

namespace orv {

namespace {

struct Candidate {
    const char* latin;
    const char* japanese; // the name the font also carries, which a Japanese desktop lists
};

// In order of preference. Noto Sans CJK and its twin Source Han Sans first: their narrow digits
// and Latin keep dates and names inside the design's narrowest boxes, and their taller line is
// absorbed by the controls. Then fonts of the design's own metrics (IPA P-Gothic and its
// derivative Takao), whose wider digits crowd those boxes, and the Windows UI fonts.
constexpr std::array<Candidate, 9> kCandidates{{
    {"Noto Sans CJK JP", nullptr},
    {"Source Han Sans JP", "源ノ角ゴシック JP"},
    {"IPAPGothic", "IPA Pゴシック"},
    {"TakaoPGothic", "Takao Pゴシック"},
    {"VL PGothic", "VL Pゴシック"},
    {"Noto Sans JP", nullptr},
    {"MS UI Gothic", nullptr},
    {"Meiryo UI", nullptr},
    {"Yu Gothic UI", nullptr},
}};

} // namespace

UiFontChoice ChooseUiFont(const QStringList& installedFamilies)
{
    UiFontChoice choice;
    for (const Candidate& c : kCandidates) {
        for (const char* name : {c.latin, c.japanese}) {
            if (!name)
                continue;
            const QString n = QString::fromUtf8(name);
            if (installedFamilies.contains(n, Qt::CaseInsensitive)) {
                // The name as the font database spells it, so that it matches exactly.
                for (const QString& f : installedFamilies)
                    if (f.compare(n, Qt::CaseInsensitive) == 0)
                        choice.family = f;
                return choice;
            }
        }
    }
    return choice;
}

} // namespace orv
