// The entry the views show, as the actions open it.
#pragma once

#include <string>

namespace orv {

struct ShownEntry {
    std::string cdNo; // txtNo
    std::string folder; // lblFolder
    std::string file; // txtFile
};

class EntrySource {
public:
    virtual ~EntrySource() = default;
    virtual ShownEntry currentEntry() const = 0;
};

} // namespace orv
