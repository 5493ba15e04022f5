#include "results/CPriceMemoryPage.h"

#include "results/CPriceMemory.h"
#include "results/PriceMemoryActions.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

CPriceMemoryPage::CPriceMemoryPage(CPriceMemory* memory, QWidget* parent)
    : QWidget(parent), m_memory(memory)
{
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("记录搜索结果中商品的价格，用于价格标记和价格走势。"
                                            "记录只保存在本机，不会发送到任何地方。"), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_record = new QCheckBox(QStringLiteral("记录价格(&R)"), this);
    m_record->setChecked(yfx::SavedPriceRecording());
    layout->addWidget(m_record);

    auto* form = new QFormLayout;
    m_keepDays = new QSpinBox(this);
    m_keepDays->setRange(kMinKeepDays, kMaxKeepDays);
    m_keepDays->setSuffix(QStringLiteral(" 天"));
    m_keepDays->setValue(std::clamp(yfx::SavedPriceKeepDays(), kMinKeepDays, kMaxKeepDays));
    form->addRow(QStringLiteral("保留时间(&K)："), m_keepDays);
    layout->addLayout(form);

    m_clear = new QPushButton(QStringLiteral("清除价格记录…"), this);
    m_clear->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(m_clear, &QPushButton::clicked, this, [this] { yfx::AskToClearPrices(m_memory, window()); });
    layout->addWidget(m_clear);

    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    layout->addWidget(m_note);
    layout->addStretch(1);

    const bool usable = m_memory && m_memory->Available();
    for (QWidget* w : {static_cast<QWidget*>(m_record), static_cast<QWidget*>(m_keepDays), static_cast<QWidget*>(m_clear)})
        w->setEnabled(usable);
    m_note->setText(usable ? QString() : QStringLiteral("价格记录在本次运行中不可用。"));
    m_note->setVisible(!usable);
}

void CPriceMemoryPage::Save()
{
    if (!m_memory || !m_memory->Available())
        return;
    if (m_record->isChecked() != yfx::SavedPriceRecording())
        yfx::SetPriceRecording(m_memory, m_record->isChecked());
    if (m_keepDays->value() != yfx::SavedPriceKeepDays())
        yfx::SetPriceKeepDays(m_memory, m_keepDays->value());
}
