#pragma once

#include "support/Dialogs.h"

#include <QWidget>

namespace bw {

// The program's dialogs as Qt's standard boxes, owned by the main window.
class QtDialogs final : public Dialogs {
public:
    void message(const QString& text, const QString& caption) override;
    bool confirm(const QString& text, const QString& caption) override;
    void about(const QString& title, const QString& text) override;
    std::optional<QColor> chooseColour(const QColor& initial) override;
    std::optional<QString> openPicture(const QString& title, const QString& filter) override;
    std::optional<QString> savePicture(const QString& filter, const QString& defaultSuffix) override;
    std::optional<QString> saveFile(const QString& title, const QString& filter, const QString& defaultSuffix) override;
};

} // namespace bw
