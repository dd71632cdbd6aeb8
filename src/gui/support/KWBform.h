#pragma once

#include "gui/widgets/SecondaryWindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QList>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

namespace bw {

// The maker's window: who made the program and how to reach them, with a small animation.
// Created once at program start; the animation goes on where it stopped when shown again.
class TKWBfrm : public SecondaryWindow {
    Q_OBJECT
public:
    explicit TKWBfrm(QWidget* mainWindow);

    static constexpr int kFrameInterval = 150; // ms per animation frame

    QGroupBox* GroupBox1; // "Anschrift"
    QGroupBox* GroupBox2; // "Telefon"
    QGroupBox* GroupBox3; // "Fax"
    QGroupBox* GroupBox4; // "E-Mail"
    QGroupBox* GroupBox5; // "Hompage"
    QLabel* Label7;       // e-mail address, opens on a click
    QLabel* Label8;       // home page, opens on a click
    QLabel* Image1;       // the animation
    QPushButton* BitBtn1; // "&Schließen"
    QTimer* Timer1;
    QList<QImage> ImageList1; // the animation's frames

    // The index of the next frame to draw.
    quint8 frameCounter() const { return m_frame; }

public slots:
    void Timer1Timer();
    void BitBtn1Click();
    void Label7Click();
    void Label8Click();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    quint8 m_frame = 0;
    QPixmap m_picture; // what Image1 shows; frames are drawn over each other
};

} // namespace bw
