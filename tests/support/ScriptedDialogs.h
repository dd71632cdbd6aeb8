#pragma once

#include "support/Dialogs.h"

#include <QList>
#include <QString>

namespace testutil {

// Answers the program's dialogs in tests and records every text it was shown.
class ScriptedDialogs final : public bw::Dialogs {
public:
    struct Shown {
        QString kind;
        QString text;
        QString caption;
    };
    QList<Shown> shown;
    QList<bool> confirmAnswers; // taken in order; "Nein" when empty
    QList<std::optional<QColor>> colourAnswers; // taken in order; cancel when empty
    QList<QColor> colourDialogStarts;           // the colour each colour dialog opened with

    ScriptedDialogs() { m_previous = bw::setDialogs(this); }
    ~ScriptedDialogs() override { bw::setDialogs(m_previous); }

    void message(const QString& text, const QString& caption) override { shown.append({QStringLiteral("message"), text, caption}); }
    bool confirm(const QString& text, const QString& caption) override
    {
        shown.append({QStringLiteral("confirm"), text, caption});
        return confirmAnswers.isEmpty() ? false : confirmAnswers.takeFirst();
    }
    void about(const QString& title, const QString& text) override { shown.append({QStringLiteral("about"), text, title}); }
    std::optional<QColor> chooseColour(const QColor& initial) override
    {
        colourDialogStarts.append(initial);
        return colourAnswers.isEmpty() ? std::nullopt : colourAnswers.takeFirst();
    }

    QStringList texts() const
    {
        QStringList all;
        for (const Shown& s : shown)
            all << s.text;
        return all;
    }

private:
    bw::Dialogs* m_previous = nullptr;
};

} // namespace testutil
