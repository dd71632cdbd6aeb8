#pragma once

#include <QWidget>

namespace bw {

// The splash window shown while the program starts.
class TStartF : public QWidget {
    Q_OBJECT
public:
    explicit TStartF(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

} // namespace bw
