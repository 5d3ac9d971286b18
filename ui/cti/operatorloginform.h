#pragma once

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The widgets of the operator login dialog.
class OperatorLoginForm
{
public:
    void setup(QWidget* window);

    QLabel* label = nullptr;
    QLabel* label_2 = nullptr;
    QLineEdit* username = nullptr;
    QLineEdit* password = nullptr;
    QPushButton* pushButton = nullptr;
    QPushButton* pushButton_2 = nullptr;
};
