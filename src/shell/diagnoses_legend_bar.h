#pragma once
// The diagnoses legend: which diagnoses the outlines show ("User" or "Net")
// and the colour of each diagnosis letter.

#include <QColor>
#include <QString>
#include <QWidget>
#include <vector>

namespace vistrel {

class CDiagnosesLegendDlgBar : public QWidget {
    Q_OBJECT
  public:
    struct CEntry {
        QString letter;
        QColor colour;
    };

    explicit CDiagnosesLegendDlgBar(QWidget* parent = nullptr);

    // User diagnoses (B, M, F) or network diagnoses (T, F).
    void SetNetwork(bool network);
    bool Network() const { return network_; }
    // "User" or "Net".
    QString ModeText() const;
    // The letters with their colours in the order shown.
    std::vector<CEntry> Entries() const;

    QSize sizeHint() const override;

    static inline const QColor kModeBackground{192, 192, 192};

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    bool network_ = false;
};

}  // namespace vistrel
