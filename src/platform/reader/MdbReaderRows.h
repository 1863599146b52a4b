// A table's columns as its definition lays them out in a row, checked against each other when
// the definition is read, and the rows of its data pages cracked into fields by that layout.
#pragma once

// libmdb's header includes glib inside its own extern "C" block; glib must come first in C++.
#include <glib.h>
#include <mdbtools.h>

#include <cstdint>
#include <vector>

namespace orv::mdbfile {

// The table-type byte of a table definition.
inline constexpr unsigned char kUserTable = 0x4E; // 'N'
inline constexpr unsigned char kSystemTable = 0x53; // 'S'

// What the first page of a table definition says that libmdb does not keep.
struct DefinitionHeader {
    unsigned char tableType = 0;
    unsigned maxColumns = 0; // column numbers given so far, deleted columns included
};

// The header of the definition whose first page is in mdb->pg_buf.
DefinitionHeader definitionHeader(const MdbHandle* mdb);

// One field of a cracked row: its bytes in the page, or Null.
struct RowField {
    int start = 0;
    int size = 0;
    bool null = true;
};

class RowLayout {
public:
    // The layout of def's columns (as libmdb read them, in column-number order). False when the
    // definition disagrees with itself: a column type Jet does not write, a column number or
    // variable-column index twice or beyond the definition's counts, a length the type cannot
    // have, automatic numbering on anything but a Long, a memo stored as fixed, fixed columns
    // over each other or past the largest row, a column name empty, with control characters, or
    // twice.
    bool build(const MdbHandle* mdb, const MdbTableDef* def, const DefinitionHeader& header);

    // Cracks the row at page[start, start + size) into one field per column, in def's column
    // order. False when the row contradicts the layout: its column count, null mask or
    // variable-column offsets do not fit in it or run backwards, a column it holds has no entry
    // among its offsets, or a fixed column lies past the row's fixed area. A column the row does
    // not hold (added after the row was written) is Null.
    bool crack(const unsigned char* page, int start, int size, RowField* fields);

private:
    struct Column {
        unsigned number; // its bit in the null mask
        bool fixed;
        bool hasBytes; // a Yes/No value lives in the null mask alone
        int fixedOffset; // a fixed column's bytes, after the column count
        int size;
        unsigned varIndex; // a variable column's entry among the offsets
    };
    bool variableOffsets(const unsigned char* row, int size, int maskStart, unsigned& count, int& fixedEnd);

    std::vector<Column> columns_;
    bool jet3_ = false;
    bool hasVariable_ = false;
    std::vector<int> offsets_; // of the row being cracked: its variable columns' starts, then their end
};

} // namespace orv::mdbfile
