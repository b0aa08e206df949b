// A Qt Widgets window with a filled password field, for the accessibility
// tests: its texts should be read, the password field's never.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Budget spreadsheet review")));
    layout->addWidget(new QLineEdit(QStringLiteral("alice@example.invalid")));
    auto* password = new QLineEdit(QStringLiteral("hunter2secret"));
    password->setEchoMode(QLineEdit::Password);
    password->setAccessibleName(QStringLiteral("Secret code field name"));
    password->setAccessibleDescription(QStringLiteral("Secret code field description"));
    layout->addWidget(password);
    layout->addWidget(new QPushButton(QStringLiteral("Submit budget")));
    window.show();
    return app.exec();
}
