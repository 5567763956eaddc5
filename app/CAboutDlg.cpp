#include "app/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "VareloVersion.h"
#include "app/AppIcon.h"
#include "app/DialogUnits.h"

namespace {

const char* const aboutCaption = "About Varelo";
const char* const versionText = "Varelo, Version " VARELO_VERSION_MAJOR_MINOR;
const char* const noticeText = "Copyright © Velquor";

// Plain text, and no buddy: an "&" in the text is shown as it is.
QLabel* AddText(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(geometry);
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(aboutCaption);
    const DialogUnits units(fontMetrics());
    setFixedSize(units.ToPixels(170, 62));

    auto* icon = new QLabel(this);
    icon->setObjectName("aboutIcon");
    icon->setGeometry(units.ToPixels(14, 14, 21, 20));
    icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    icon->setPixmap(AppIcon::Create().pixmap(icon->size()));

    AddText(this, versionText, units.ToPixels(42, 14, 114, 8))->setObjectName("versionText");
    AddText(this, noticeText, units.ToPixels(42, 26, 114, 8))->setObjectName("aboutNoticeText");

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("okButton");
    ok->setGeometry(units.ToPixels(113, 41, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
