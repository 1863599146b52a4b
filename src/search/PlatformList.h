// The search conditions' platform list as the catalogue fills it once it is read, and which of its
// lines the saved choice selects.
#pragma once

#include <string>
#include <vector>

namespace orv {

class PlatformList {
public:
    virtual ~PlatformList() = default;
    virtual void ClearPlatforms() = 0;
    virtual void AddPlatform(const std::string& name, long count) = 0;
    virtual void PlatformsAdded() = 0;
};

// Whether a platform line with text pf is preselected by the saved names: an exact name, or
// "@ALL@" for every line.
inline bool PlatformPreselected(const std::string& pf, const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        if (name == pf || name == "@ALL@")
            return true;
    return false;
}

} // namespace orv
