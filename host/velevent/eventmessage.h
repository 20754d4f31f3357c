#pragma once

#include "velhost_global.h"

#include <QString>
#include <QVariant>
#include <QVariantMap>

// One bus event: type (int), source page id and a packed message.
class VELHOST_EXPORT CEventMessageCommon
{
public:
    CEventMessageCommon();
    ~CEventMessageCommon();

    void SetSrcid(QString srcid);
    QString GetSrcid() const;
    void SetType(QVariant type);
    QVariant GetType() const;
    void SetMsg(QVariant msg);
    QVariant GetMsg() const;

    // A new event of type from src carrying row packed as its one row; the
    // host's own announcements are made this way.
    static CEventMessageCommon *create(const QString &src, int type, const QVariantMap &row);

private:
    QString m_srcid;
    QVariant m_type;
    QVariant m_msg;
};
