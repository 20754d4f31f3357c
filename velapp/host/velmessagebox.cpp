#include "velwidget/velmessagebox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QStyle::StandardPixmap iconPixmap(int icon, bool *known)
{
    *known = true;
    switch (icon) {
    case VelMessageBox::Question:
        return QStyle::SP_MessageBoxQuestion;
    case VelMessageBox::Information:
        return QStyle::SP_MessageBoxInformation;
    case VelMessageBox::Warning:
        return QStyle::SP_MessageBoxWarning;
    default:
        *known = false;
        return QStyle::SP_CustomBase;
    }
}

} // namespace

VelMessageBox::VelMessageBox(const QString &title, const QString &text, int buttons,
                             QWidget *parent, int icon)
    : QDialog(parent)
{
    setWindowTitle(title);
    setModal(true);

    auto *content = new QHBoxLayout;
    bool knownIcon = false;
    const QStyle::StandardPixmap pixmap = iconPixmap(icon, &knownIcon);
    if (knownIcon) {
        auto *iconLabel = new QLabel(this);
        iconLabel->setObjectName(QStringLiteral("velMessageBoxIcon"));
        const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        iconLabel->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(size, size));
        iconLabel->setAlignment(Qt::AlignTop);
        content->addWidget(iconLabel);
    }

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("velMessageBoxText"));
    // Messages come from outside (reports, errors): never interpret them as markup.
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setText(text);
    content->addWidget(m_text, 1);

    auto *box =
        new QDialogButtonBox(buttons == OkCancel ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel
                                                 : QDialogButtonBox::Ok,
                             this);
    box->setObjectName(QStringLiteral("velMessageBoxButtons"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(content);
    layout->addWidget(box);
}

VelMessageBox::~VelMessageBox() = default;

QString VelMessageBox::text() const
{
    return m_text->text();
}
