#!/usr/bin/env python3
"""Writes the hostile SQLite catalogues of this folder (run it here; the files are committed).

Each one is a catalogue a user could be handed that tries to make the program hang or take the
machine's memory the moment it reads the file:

- generated-slow.sqlite: 1000 entries of tevoxB with a generated column that takes about a second
  and 100 MB for each entry it is computed for (a quarter of an hour for the whole table), plus a recursive
  view and a trigger;
- generated-huge.sqlite: 3 entries with a generated column of 900 MB each;
- recursive-name.sqlite: a saved snapshot whose schema record names a column with a recursive
  query that never ends.
"""
import os
import sqlite3

COLUMNS = ["gt_cdno", "gt_new", "gt_pf", "gt_game", "gt_maker", "gt_effect", "gt_file", "gt_exeenv",
           "gt_f_s", "gt_copyright", "gt_cdnod", "gt_folder", "gt_str1", "gt_str2", "gt_effecttmp"]


def entry(i):
    game = "Game %d" % i
    maker = "Maker %d" % (i % 7)
    effect = "所持金MAX %d" % i
    file = "E%d.EXE" % i
    return ["%03d" % (1 + i % 12), "♪" if i % 3 == 0 else None, "PC", game, maker, effect, file,
            "Win95", "F", "(C)1997", "1997/04/01", "UTIL\\PC\\E%d" % i, game + " " + maker,
            effect + " " + file, "03" + effect]


def fresh(name):
    if os.path.exists(name):
        os.remove(name)
    db = sqlite3.connect(name)
    db.execute("PRAGMA page_size=1024")
    return db


def catalogue(name, rows, generated):
    db = fresh(name)
    cols = ["%s TEXT" % c for c in COLUMNS]
    db.execute("CREATE TABLE tevoxB (%s)" % ", ".join(cols))
    db.executemany("INSERT INTO tevoxB VALUES (%s)" % ",".join("?" * 15), [entry(i) for i in range(rows)])
    db.commit()
    # The generated column goes into the stored definition afterwards (an insert would compute
    # it), among the plain columns so that reading by position would shift every later field.
    # A virtual column has no place in the stored rows, so they stay as they are.
    cols.insert(3, generated)
    db.execute("PRAGMA writable_schema=ON")
    db.execute("UPDATE sqlite_master SET sql=? WHERE name='tevoxB'", ("CREATE TABLE tevoxB (%s)" % ", ".join(cols),))
    db.commit()
    db.close()
    return sqlite3.connect(name)


db = catalogue("generated-slow.sqlite", 1000,
               "gt_slow INTEGER GENERATED ALWAYS AS (length(printf('%.*c', 100000000 + length(gt_cdno), 'x'))) VIRTUAL")
db.execute("CREATE VIEW tevoxV AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
           "SELECT x FROM r")
db.execute("CREATE TRIGGER tevoxT AFTER INSERT ON tevoxB BEGIN "
           "SELECT length(printf('%.*c', 900000000, 'x')); END")
db.commit()
db.close()

db = catalogue("generated-huge.sqlite", 3,
               "gt_huge INTEGER GENERATED ALWAYS AS (length(printf('%.*c', 900000000 + length(gt_cdno), 'x'))) VIRTUAL")
db.commit()
db.close()

# The layout a saved snapshot has: catalogue tables under our own names, and the schema record.
db = fresh("recursive-name.sqlite")
db.execute("CREATE TABLE __orv_schema (table_name TEXT, table_sql TEXT, col_index INTEGER, name TEXT, "
           "kind TEXT, sql_name TEXT, key_name TEXT)")
db.execute("CREATE TABLE t0 (c0 TEXT, k0 TEXT, c1 TEXT, k1 TEXT)")
db.executemany("INSERT INTO t0 VALUES (?, ?, ?, ?)",
               [("%03d" % i, "%03d" % i, "Game %d" % i, "GAME %d" % i) for i in range(3)])
spin = "c1, (WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT max(x) FROM r) AS spin"
db.executemany("INSERT INTO __orv_schema VALUES (?, ?, ?, ?, ?, ?, ?)",
               [("tevoxB", "t0", 0, "gt_cdno", "text", "c0", "k0"),
                ("tevoxB", "t0", 1, "gt_game", "text", spin, "k1")])
db.commit()
db.close()
