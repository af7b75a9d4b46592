#pragma once

#include "channelenable.h"
#include "channelsettings.h"
#include "channeltable.h"
#include "controls.h"
#include "linetoggles.h"
#include "pollcycle.h"
#include "portset.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <memory>

class AboutPanel;
class CircleShape;
class ColorButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QTimer;

// Form1: every control of the window, placed at creation from the layout tables,
// and the window's side of the channel handlers and the poll.
class MainWindow final : public QMainWindow, public Controls
{
    Q_OBJECT
public:
    using MessagePresenter = std::function<void(QWidget *parent, const QString &text)>;

    explicit MainWindow(std::unique_ptr<PortSet> ports, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The one way modal messages reach the user; tests put their own in.
    void setMessagePresenter(MessagePresenter presenter);
    // One tick of the poll timer.
    void tick();
    [[nodiscard]] PollCycle &poll() { return m_poll; }
    void setAboutTexts(const QString &authorText, const QString &termsText);

    int checkValue(int channel) const override;
    void setCheckValue(int channel, int value) override;
    QString pinText(int channel, Pin pin) const override;
    void setPinText(int channel, Pin pin, const QString &text) override;
    void setIndicatorColor(int channel, Pin pin, ColorCode color) override;
    ColorCode buttonColor(int channel, Line line) const override;
    void setButtonColor(int channel, Line line, ColorCode color) override;
    void setStatusCaption(int channel, const QString &caption) override;
    QString comboText(int comboIndex) const override;
    void showMessage(const QString &text) override;

private:
    void nameSerialPorts();
    void buildMenu();
    void buildFrames(QWidget *client);
    void buildPortsBox(QGroupBox *box);
    void buildPinGrid(QWidget *client);
    void buildPinPanel(int channel, QGroupBox *panel);
    void buildSettingsPanel(int channel, QGroupBox *panel);
    void chooseRemotePort(int channel, const QPoint &at);
    void startPolling();
    void describePorts();

    [[nodiscard]] QLineEdit *pinField(int channel, Pin pin) const;
    [[nodiscard]] ColorButton *lineButton(int channel, Line line) const;

    std::unique_ptr<PortSet> m_ports;
    ChannelEnable m_enable;
    ChannelSettings m_settings;
    LineToggles m_toggles;
    PollCycle m_poll;
    MessagePresenter m_presenter;

    std::array<QCheckBox *, channelCount> m_checkBoxes{};
    std::array<QLineEdit *, channelCount * pinCount> m_pinFields{};
    std::array<std::array<CircleShape *, channelCount>, pinCount> m_indicators{};
    std::array<ColorButton *, channelCount * 2> m_lineButtons{};
    std::array<QLabel *, channelCount> m_statusLabels{};
    std::array<QComboBox *, comboCount> m_combos{};
    AboutPanel *m_aboutPanel = nullptr;
    QTimer *m_timer = nullptr;
};
