#pragma once

class QComboBox;
class QWidget;

// The operator's status selector: five choices whose indices 0 to 4 the status report maps to the
// codes 0, 1, 11, 12 and 13. It starts on "ログアウト".
namespace zim {
QComboBox* make_operator_status_combo_box(QWidget* parent);
// The selector index that shows a status code (0 for an unknown code).
int operator_status_index(int status);
// The status code reported for a selector index (0 for any other index).
int operator_status_code(int index);
} // namespace zim
