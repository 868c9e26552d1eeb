#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "devicereply.h"
#include "deviceresult.h"
#include "flashrun.h"
#include "parameterrecord.h"
#include "wizardtable.h"

namespace tavik7 {

class DeviceLink;

// The wizard that sets a device up for a counter type, without its view: the
// firmware check on the chosen type, the flash it may lead to, and
// programming with the counter write that follows. It drives the device link
// and the flash run it is given. What needs deciding it asks by question();
// its user answers by calling the matching method. The view follows
// stateChanged().
class WizardFlow : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Choosing,           // the counter type is being chosen; nothing underway
        ReadingFirmware,    // the device's parameters are asked for
        AwaitingVerdict,    // they came; the counter read that follows them runs
        AskingFlash,        // the firmware does not fit: flash now?
        Flashing,           // the wizard's own flash run
        ChoosingDirection,
        EnteringCounter,
        WritingParameters,  // programming: the parameter telegram is out
        AskingCounterWrite, // its answer or time-out is in: the counter too?
        WritingCounter,
        Done,               // programmed, or the counter write declined
        Failed,             // the firmware step: no answer, port not free, not flashed
    };
    Q_ENUM(State)

    enum class Question {
        FlashFirmware, // answered by flash() or keepFirmware()
        WriteCounter,  // answered by writeCounter() or skipCounterWrite()
    };
    Q_ENUM(Question)

    struct Record
    {
        int rowIndex = -1;          // the wizard table's row, -1 for none
        quint16 requiredFirmware = 0;
        quint16 deviceFirmware = 0; // as read, or as flashed since
        WizardEntry entry;          // the counter entry: integer digits, factor shown
        QByteArray counterDigits;   // what programming writes as the counter
        bool directionFixed = false; // Ua "---": the direction is right, not chosen
        WizardProgram program;      // what the last programming sent or offered to send
    };

    WizardFlow(DeviceLink *link, FlashRun *flashRun, QObject *parent = nullptr);

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] const Record &record() const { return m_record; }
    // True from the read of the firmware check until its verdict.
    [[nodiscard]] bool readsFirmware() const;
    // The wizard view's step for a state reached once the counter type
    // is chosen; 0 leaves the page as it is (the choice itself, a refused check).
    [[nodiscard]] static int pageStep(State state);

    // A choice in the first three rows abandons a check or flash underway:
    // an answer still on its way moves the wizard no further. Programming
    // runs its course, for the counter must follow the parameters sent.
    void chooseCounterType();
    // The three choices are complete: reads the device, whose firmware is
    // then judged. Failed at once unless the link is free for a request.
    void checkFirmware(const QString &numberOfDigits, const QString &uaValue, const QString &decimalPlaces);
    // Steps 5 and 6, entered again each time the direction changes; nothing
    // while a request or a flash is underway. counterText is the reading the
    // entry is prefilled from.
    void chooseDirection();
    void enterCounter(const QString &counterText);
    // Sends the parameters; the counter question follows their answer or
    // time-out. False, changing nothing, when nothing went out.
    bool program(const ParameterRecord &record, const QByteArray &counterDigits);

    // True while programming runs: its record and counter stay as sent, and
    // a new choice is refused until it has ended.
    [[nodiscard]] bool isProgramming() const { return programming(); }
    // The firmware image the counter type needs, by file name.
    [[nodiscard]] QString firmwareImage() const { return firmwareFileName(m_record.requiredFirmware); }
    // The record programming is to send: the table's record with the chosen
    // row's significance, the direction (right for a Ua "---" counter) and
    // the entry as the counter. False, changing nothing, while a check, a
    // flash or programming is underway; then send it with program().
    bool prepareProgram(const ParameterRecord &table, int wizardDirectionIndex, const QString &entryText);

    // The answers to the flash question.
    void flash(const FlashRun::Request &request);
    void keepFirmware();
    // The answers to the counter question; true when the counter went out.
    bool writeCounter();
    void skipCounterWrite();

signals:
    // Also when a step is entered again, as step 6 is for another direction.
    void stateChanged(tavik7::WizardFlow::State state, tavik7::WizardFlow::State previous);
    // Asked from the event loop, never from inside the port's data slot, so
    // a box opened in answer holds back no answer of the device.
    void question(tavik7::WizardFlow::Question question);
    // The counter write of programming has been answered; from the event loop too.
    void programmed();
    // Each request the wizard sends, for its view to show as it shows its own.
    void requestSent(tavik7::DeviceReply *reply);

private:
    [[nodiscard]] bool checking() const;
    [[nodiscard]] bool programming() const;
    void setState(State state);
    void onRequestFinished(const DeviceResult &result);
    void onParametersRead(const ParameterRecord &record);
    void onReplyFinished();
    // Listens to a reply of its own; false for none, with nothing sent.
    bool follow(DeviceReply *reply);
    void continueAfterRequest();
    void judgeFirmware();
    void askCounterWrite();
    void onFlashRunState(FlashRun::State runState);

    DeviceLink *m_link;
    FlashRun *m_flashRun;
    State m_state = State::Choosing;
    Record m_record;
};

} // namespace tavik7
