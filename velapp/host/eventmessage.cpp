#include "velevent/eventmessage.h"

#include "velmsg/packmessage.h"

CEventMessageCommon::CEventMessageCommon() = default;

CEventMessageCommon::~CEventMessageCommon() = default;

void CEventMessageCommon::SetSrcid(QString srcid)
{
    m_srcid = std::move(srcid);
}

QString CEventMessageCommon::GetSrcid() const
{
    return m_srcid;
}

void CEventMessageCommon::SetType(QVariant type)
{
    m_type = std::move(type);
}

QVariant CEventMessageCommon::GetType() const
{
    return m_type;
}

void CEventMessageCommon::SetMsg(QVariant msg)
{
    m_msg = std::move(msg);
}

QVariant CEventMessageCommon::GetMsg() const
{
    return m_msg;
}

CEventMessageCommon *CEventMessageCommon::create(const QString &src, int type,
                                                 const QVariantMap &row)
{
    CPackMessageCommon pack;
    pack.AddRowVaule(row);
    auto *event = new CEventMessageCommon;
    event->SetSrcid(src);
    event->SetType(type);
    event->SetMsg(pack.GetPackedMsg(false));
    return event;
}
