#include "ScanGauge.h"

#include "acquire/DiscAdder.h"
#include "gui/TBusyForm.h"

#include <algorithm>

ScanGauge::ScanGauge(TBusyForm *form, const QString &caption, quint64 totalBytes, bool readsEveryByte)
    : m_form(form), m_caption(caption), m_total(totalBytes), m_readsEveryByte(readsEveryByte)
{
    m_form->start(caption, m_total ? Steps : 0);
    m_reading.start();
}

std::function<void(quint64)> ScanGauge::callback()
{
    return [this](quint64 kilobytes) {
        if (!m_form || !m_total)
            return;
        const quint64 read = kilobytes * 1024;
        if (m_readsEveryByte)
            m_form->setCaption(m_caption + u'\n' + DiscAdder::readingText(read, m_total, m_reading.elapsed()));
        m_form->setPosition(int(std::min<quint64>(read / std::max<quint64>(m_total / Steps, 1), Steps)));
    };
}
