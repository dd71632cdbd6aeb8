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
    QList<bool> confirmAnswers;                 // taken in order; "Nein" when empty
    QList<std::optional<QColor>> colourAnswers; // taken in order; cancel when empty
    QList<QColor> colourDialogStarts;           // the colour each colour dialog opened with
    QList<std::optional<QString>> openAnswers;  // file chosen in each open dialog; cancel when empty
    QList<std::optional<QString>> saveAnswers;  // file chosen in each save dialog; cancel when empty

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

    std::optional<QString> openPicture(const QString& title, const QString& filter) override
    {
        shown.append({QStringLiteral("open"), filter, title});
        return openAnswers.isEmpty() ? std::nullopt : openAnswers.takeFirst();
    }
    std::optional<QString> savePicture(const QString& filter, const QString& defaultSuffix) override
    {
        shown.append({QStringLiteral("save"), filter, defaultSuffix});
        return saveAnswers.isEmpty() ? std::nullopt : saveAnswers.takeFirst();
    }
    std::optional<QString> saveFile(const QString& title, const QString&, const QString& defaultSuffix) override
    {
        shown.append({QStringLiteral("save"), title, defaultSuffix});
        return saveAnswers.isEmpty() ? std::nullopt : saveAnswers.takeFirst();
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
