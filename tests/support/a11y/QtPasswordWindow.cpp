// A Qt Widgets window with a filled password field, for the accessibility
// tests: its texts should be read, the password field's never.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

using namespace Qt::StringLiterals;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(u"Aimset password window"_s);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(u"Budget spreadsheet review"_s));
    auto* user = new QLineEdit(u"alice@example.invalid"_s);
    layout->addWidget(user);
    auto* password = new QLineEdit(u"hunter2secret"_s);
    password->setEchoMode(QLineEdit::Password);
    password->setAccessibleName(u"Secret code field name"_s);
    password->setAccessibleDescription(u"Secret code field description"_s);
    layout->addWidget(password);
    layout->addWidget(new QPushButton(u"Submit budget"_s));
    window.show();
    window.activateWindow();
    return app.exec();
}
