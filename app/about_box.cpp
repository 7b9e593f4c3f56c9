#include "app/about_box.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace quorvane::app {

namespace {

QFont arial(int pixels, bool bold = false, bool italic = false)
{
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, const QFont& font)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(font);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, Qt::black);
    l->setPalette(p);
    return l;
}

} // namespace

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About Quorvane"));
    setFont(arial(11));
    setFixedSize(298, 213); // single fixed border: not resizable
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);

    // One bevelled panel: raised inner, lowered outer bevel.
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setGeometry(8, 8, 282, 161);
    auto* inner = new QFrame(panel);
    inner->setFrameShape(QFrame::Panel);
    inner->setFrameShadow(QFrame::Raised);
    inner->setGeometry(2, 2, 278, 157);

    auto* icon = new QLabel(inner);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(65, 57));
    icon->setScaledContents(true);
    icon->setGeometry(8, 8, 65, 57);

    label(inner, "ProductName", QStringLiteral("Quorvane"), arial(17, true))->setGeometry(88, 14, 180, 24);
    label(inner, "Version", QStringLiteral("Version 2.0"), arial(9, false, true))->setGeometry(88, 44, 180, 14);
    QLabel* comments =
        label(inner, "Comments",
              QStringLiteral("Software for calculating moving average and splines curves from age vs composition data"),
              arial(9));
    comments->setWordWrap(true);
    comments->setGeometry(8, 110, 262, 40);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    ok->setAutoDefault(true);
    ok->setGeometry(111, 178, 75, 25);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    if (const QScreen* screen = QApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

} // namespace quorvane::app
