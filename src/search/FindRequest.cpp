#include "FindRequest.h"

#include <cstring>

namespace tarnvale {

FindResult::FindResult(qint64 id, const QString &name, const QString &vehicleInfo,
                       const QString &group)
    : id(id)
{
    m_text = name.toUtf8();
    m_nameEnd = m_text.size();
    m_text += vehicleInfo.toUtf8();
    m_infoEnd = m_text.size();
    m_text += group.toUtf8();
}

FindResult FindResult::fromStored(qint64 id, QByteArrayView name, QByteArrayView year,
                                  QByteArrayView make, QByteArrayView model, QByteArrayView style,
                                  QByteArrayView vin, QByteArrayView group)
{
    const bool withModel = !make.isEmpty();
    const bool withVin = !style.isEmpty();
    const qsizetype size = name.size() + year.size() + (withModel ? 1 + model.size() : 0) +
                           (withVin ? 1 + vin.size() : 0) + group.size();
    FindResult result;
    result.id = id;
    if (size == 0)
        return result;
    // One block, written in place: this runs for every vehicle a search finds.
    result.m_text = QByteArray(size, Qt::Uninitialized);
    char *out = result.m_text.data();
    const auto put = [&out](QByteArrayView text) {
        if (!text.isEmpty())
            out = static_cast<char *>(std::memcpy(out, text.data(), size_t(text.size()))) +
                  text.size();
    };
    put(name);
    result.m_nameEnd = name.size();
    put(year);
    if (withModel) {
        *out++ = ' ';
        put(model);
    }
    if (withVin) {
        *out++ = ' ';
        put(vin);
    }
    result.m_infoEnd = out - result.m_text.constData();
    put(group);
    return result;
}

FindResult FindResult::idOnly(qint64 id)
{
    FindResult result;
    result.id = id;
    result.m_nameEnd = -1;
    return result;
}

QString FindResult::name() const
{
    return hasTexts() ? QString::fromUtf8(m_text.constData(), m_nameEnd) : QString();
}

QString FindResult::vehicleInfo() const
{
    return hasTexts() ? QString::fromUtf8(m_text.constData() + m_nameEnd, m_infoEnd - m_nameEnd)
                      : QString();
}

QString FindResult::group() const
{
    return hasTexts() ? QString::fromUtf8(m_text.constData() + m_infoEnd, m_text.size() - m_infoEnd)
                      : QString();
}

} // namespace tarnvale
