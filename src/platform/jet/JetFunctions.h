// The SQL functions and the collation through which translated statements compare texts as Jet.
#pragma once

struct sqlite3;

namespace orv {

// Registers on a connection the functions that translated statements call:
//   jet_like(key, pattern)  LIKE over a text already folded by jetFoldKey (numbers are folded
//                           here); compiled patterns are kept per connection
//   jet_like_join(pattern, key1, key2, ...)  jet_like(key1 || key2 || ..., pattern) without
//                           building the joined text in SQL
//   jet_key(value)          jetFoldKey of the value's text, Null stays Null
//   jet_amp(a, b)           Jet's a & b: Null joins as empty text, Null & Null is Null
//   jet_str(value)          the value as text (numbers as the catalogue shows them)
//   jet_right(text, n), jet_ucase(text), jet_lcase(text)
// and the collation JET (order of jetFoldKey). Throws DbError when SQLite refuses.
void registerJetFunctions(sqlite3* db);

} // namespace orv
