#include "ui/uiresourcetables.h"

namespace WQ::resource {

namespace {

template <class T, std::size_t N> CTable<T> table(const T (&entries)[N])
{
    return CTable<T>{entries, N};
}

// Dark theme: a dim background that keeps long monitoring sessions easy on the eyes.
const CColorEntry s_darkColors[] = {
    {"clr_text_default", 0xFFD7DAE0},
    {"clr_text_secondary", 0xFF8B919C},
    {"clr_text_disabled", 0xFF5C626C},
    {"clr_border_default", 0xFF3A3F48},
    {"clr_panel_background", 0xFF1E2127},
    {"clr_dialog_background", 0xFF23272E},
    {"clr_title_background", 0xFF2B3039},
    {"clr_title_text", 0xFFE6E8EC},
    {"clr_table_background", 0xFF181B20},
    {"clr_table_alternate_background", 0xFF1D2026},
    {"clr_table_grid", 0xFF2A2E36},
    {"clr_table_header_background", 0xFF262A31},
    {"clr_table_header_text", 0xFFA9AFBA},
    {"clr_table_selection", 0xFF2D4A73},
    {"clr_button_background", 0xFF2F343D},
    {"clr_button_hover", 0xFF3A404B},
    {"clr_button_pressed", 0xFF262A31},
    {"clr_button_text", 0xFFD7DAE0},
    {"clr_button_border", 0xFF454B56},
    {"clr_operation_button_background", 0xFF2F6FDB},
    {"clr_operation_button_hover", 0xFF3F7FEB},
    {"clr_operation_button_pressed", 0xFF275FC0},
    {"clr_operation_button_text", 0xFFFFFFFF},
    {"clr_toolbutton_hover", 0xFF323741},
    {"clr_input_background", 0xFF15181C},
    {"clr_input_border", 0xFF454B56},
    {"clr_input_focus_border", 0xFF4A8FE7},
    {"clr_tab_background", 0xFF1E2127},
    {"clr_tab_selected_background", 0xFF181B20},
    {"clr_tab_text", 0xFF8B919C},
    {"clr_tab_selected_text", 0xFFE6E8EC},
    {"clr_tab_selected_line", 0xFFF08A24},
    {"clr_icon_default", 0xFFA9AFBA},
    {"clr_confirm_orange", 0xFFF08A24},
    {"clr_clickable_simple_text", 0xFF4A9EFF},
    {"clr_error_text", 0xFFFF5C57},
    {"clr_splitter", 0xFF2A2E36},
    {"clr_split_button_background", 0xFF343944},
    {"clr_scrollbar_handle", 0xFF3C424D},
};

// Light theme: the same keys on a white ground.
const CColorEntry s_lightColors[] = {
    {"clr_text_default", 0xFF2B2F36},
    {"clr_text_secondary", 0xFF6B717C},
    {"clr_text_disabled", 0xFFAAB0B8},
    {"clr_border_default", 0xFFD3D7DE},
    {"clr_panel_background", 0xFFF4F5F7},
    {"clr_dialog_background", 0xFFFFFFFF},
    {"clr_title_background", 0xFFE9ECF1},
    {"clr_title_text", 0xFF1F232A},
    {"clr_table_background", 0xFFFFFFFF},
    {"clr_table_alternate_background", 0xFFF7F8FA},
    {"clr_table_grid", 0xFFE6E8EC},
    {"clr_table_header_background", 0xFFEEF0F3},
    {"clr_table_header_text", 0xFF4A505A},
    {"clr_table_selection", 0xFFCFE2FB},
    {"clr_button_background", 0xFFFFFFFF},
    {"clr_button_hover", 0xFFEEF2F8},
    {"clr_button_pressed", 0xFFE1E6EE},
    {"clr_button_text", 0xFF2B2F36},
    {"clr_button_border", 0xFFC5CAD3},
    {"clr_operation_button_background", 0xFF2F6FDB},
    {"clr_operation_button_hover", 0xFF3F7FEB},
    {"clr_operation_button_pressed", 0xFF275FC0},
    {"clr_operation_button_text", 0xFFFFFFFF},
    {"clr_toolbutton_hover", 0xFFE4E8EE},
    {"clr_input_background", 0xFFFFFFFF},
    {"clr_input_border", 0xFFC5CAD3},
    {"clr_input_focus_border", 0xFF2F7BE0},
    {"clr_tab_background", 0xFFF4F5F7},
    {"clr_tab_selected_background", 0xFFFFFFFF},
    {"clr_tab_text", 0xFF6B717C},
    {"clr_tab_selected_text", 0xFF1F232A},
    {"clr_tab_selected_line", 0xFFE07B14},
    {"clr_icon_default", 0xFF5A606B},
    {"clr_confirm_orange", 0xFFD9700F},
    {"clr_clickable_simple_text", 0xFF1F6FD6},
    {"clr_error_text", 0xFFD12C25},
    {"clr_splitter", 0xFFDDE0E5},
    {"clr_split_button_background", 0xFFDDE1E7},
    {"clr_scrollbar_handle", 0xFFC7CCD4},
};

const CFontEntry s_fonts[] = {
    {"fnt_default_normal_fix", 12, false},
    {"fnt_default_bold_fix", 12, true},
    {"fnt_title", 13, true},
    {"fnt_table", 12, false},
    {"fnt_table_header", 12, false},
    {"tc_fnt_operation_btn_text_option", 14, true},
};

const CSizeEntry s_sizes[] = {
    {"tc_siz_account_btn_height", 22}, {"tc_siz_table_row_height", 22},    {"tc_siz_table_header_height", 24},
    {"tc_siz_table_column_width", 96}, {"tc_siz_dialog_title_height", 30}, {"tc_siz_dialog_close_button", 24},
    {"tc_siz_tab_height", 26},         {"tc_siz_tab_min_width", 72},       {"tc_siz_toolbar_spacing", 4},
    {"tc_siz_split_button_width", 12}, {"tc_siz_split_button_height", 48}, {"tc_siz_check_indicator", 14},
    {"tc_siz_text_padding", 6},        {"tc_siz_corner_radius", 2},        {"tc_siz_scrollbar_width", 10},
};

const CImageEntry s_images[] = {
    {"tc_img_btn_set_small", SHAPE_GEAR, 16, "clr_icon_default"},
    {"tc_img_dialog_close", SHAPE_CROSS, 12, "clr_icon_default"},
    {"tc_img_arrow_left", SHAPE_ARROW_LEFT, 8, "clr_icon_default"},
    {"tc_img_arrow_right", SHAPE_ARROW_RIGHT, 8, "clr_icon_default"},
    {"tc_img_arrow_up", SHAPE_ARROW_UP, 8, "clr_icon_default"},
    {"tc_img_arrow_down", SHAPE_ARROW_DOWN, 8, "clr_icon_default"},
    {"tc_img_toolbar_more", SHAPE_MORE, 14, "clr_icon_default"},
};

} // namespace

CTable<CColorEntry> darkColors()
{
    return table(s_darkColors);
}

CTable<CColorEntry> lightColors()
{
    return table(s_lightColors);
}

CTable<CFontEntry> fonts()
{
    return table(s_fonts);
}

CTable<CSizeEntry> sizes()
{
    return table(s_sizes);
}

CTable<CImageEntry> images()
{
    return table(s_images);
}

const char* defaultFontFamily()
{
    return "Noto Sans CJK SC";
}

} // namespace WQ::resource
