#pragma once
// The settings page of the price memory (价格记录): whether prices are recorded, how many days
// of rows are kept, and "清除价格记录…". The switch and the keeping time are saved by Save (the
// dialog's OK); clearing asks its own question and acts at once. Without a memory, or while it
// is unavailable, the page says so and its controls are disabled. GUI thread only.
#include <QWidget>

class CPriceMemory;
class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

class CPriceMemoryPage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinKeepDays = 30;
    static constexpr int kMaxKeepDays = 3650;

    explicit CPriceMemoryPage(CPriceMemory* memory, QWidget* parent = nullptr);

    // Applies the switch and the keeping time now and for later starts.
    void Save();

    QCheckBox* RecordBox() const { return m_record; }
    QSpinBox* KeepDaysBox() const { return m_keepDays; }
    QPushButton* ClearButton() const { return m_clear; }
    QLabel* Note() const { return m_note; }

private:
    CPriceMemory* m_memory;
    QCheckBox* m_record;
    QSpinBox* m_keepDays;
    QPushButton* m_clear;
    QLabel* m_note;
};
