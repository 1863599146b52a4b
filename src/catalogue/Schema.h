// The catalogue's table, fields and list layout: the one place that names them.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace orv::schema {

inline constexpr std::string_view kDatabaseFile = "tevox20.mdb";
inline constexpr std::string_view kTableName = "tevoxB";

inline constexpr int kListColumns = 11; // columns 0 to 10 of the list view
inline constexpr int kFieldCount = 15;

// Fields in table order.
inline constexpr std::array<std::string_view, kFieldCount> kFields = {
    "gt_cdno", "gt_new",       "gt_pf",    "gt_game",   "gt_maker", "gt_effect", "gt_file",     "gt_exeenv",
    "gt_f_s",  "gt_copyright", "gt_cdnod", "gt_folder", "gt_str1",  "gt_str2",   "gt_effecttmp"};

inline constexpr std::array<std::string_view, kListColumns> kListCaptions = {
    "収録CD", "新作", "プラットフォーム", "ゲーム", "メーカー", "効果", "ファイル名", "動作OS",
    "F/S",    "著作", "CD発売日"};

// Sort text of each list column.
inline constexpr std::array<std::string_view, kListColumns> kSortTexts = {
    " ORDER BY gt_cdno",  " ORDER BY gt_new",       " ORDER BY gt_pf",   " ORDER BY gt_game",
    " ORDER BY gt_maker", " ORDER BY gt_effecttmp", " ORDER BY gt_file", " ORDER BY gt_exeenv",
    " ORDER BY gt_f_s",   " ORDER BY gt_copyright", " ORDER BY gt_cdnod"};

// The grid's columns whose widths and sort orders the window keeps: the list's and those after.
inline constexpr int kGridColumnSlots = 20;

// Default list column widths in twips; the columns after the list's are 0.
inline constexpr std::array<long, kGridColumnSlots> kDefaultColumnWidths = {
    700, 500, 1000, 5000, 3000, 2000, 2000, 1000, 500, 2000, 1000, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Card-view bindings in the order the record query assigns them.
struct CardBinding {
    std::string_view control;
    std::string_view field;
};
inline constexpr std::array<CardBinding, 12> kCardBindings = {{{"txtNew", "gt_new"},
                                                               {"txtSS", "gt_pf"},
                                                               {"txtGame", "gt_game"},
                                                               {"txtMaker", "gt_maker"},
                                                               {"txtEffect", "gt_effect"},
                                                               {"txtFile", "gt_file"},
                                                               {"txtWindows", "gt_exeenv"},
                                                               {"txtF_S", "gt_f_s"},
                                                               {"txtCopyright", "gt_copyright"},
                                                               {"lblFolder", "gt_folder"},
                                                               {"txtNo", "gt_cdno"},
                                                               {"txtCDDate", "gt_cdnod"}}};

inline std::string volumeListStatement(std::string_view table)
{
    return "SELECT gt_cdno, COUNT(*) as cnt FROM " + std::string(table) + " GROUP BY gt_cdno ORDER BY gt_cdno ;";
}
inline std::string platformListStatement(std::string_view table)
{
    return "SELECT gt_pf, COUNT(*) as cnt FROM " + std::string(table) + " GROUP BY gt_pf ORDER BY gt_pf ;";
}

} // namespace orv::schema
