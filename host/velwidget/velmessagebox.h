#pragma once

#include "velhost_global.h"

#include <QDialog>

class QLabel;

// The host's modal message box.
class VELHOST_EXPORT VelMessageBox : public QDialog
{
    Q_OBJECT
public:
    enum Buttons { Ok = 1, OkCancel = 2 };
    enum Icon { NoIcon = 0, Question = 1, Information = 2, Warning = 3 };

    VelMessageBox(const QString &title, const QString &text, int buttons, QWidget *parent,
                  int icon);
    ~VelMessageBox() override;

    QString text() const;

private:
    QLabel *m_text = nullptr;
};
