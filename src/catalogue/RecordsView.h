// The views' side of a record query (the list and the card), as the catalogue session hands them
// its rows.
#pragma once

namespace orv {

class DataControl;
class Recordset;

class RecordsView {
public:
    virtual ~RecordsView() = default;
    virtual DataControl& records() = 0; // Data1: the rows shown
    virtual void KeepColumnWidths() = 0; // the list's widths, before a record query replaces it
    virtual void ShowRecords(Recordset& rs) = 0; // binds the card and lays out the list; throws DbError
    virtual void ShowNoRecords() = 0; // an empty list that keeps its captions
    virtual void CatalogueRead() = 0; // a statement ran through: the loading notice goes
};

} // namespace orv
