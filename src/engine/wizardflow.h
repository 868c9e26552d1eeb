#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>

#include "devicereply.h"
#include "deviceresult.h"
#include "flashrun.h"
#include "messageid.h"
#include "parameterrecord.h"
#include "wizardtable.h"

namespace tavik7 {

class DeviceLink;

// The wizard that sets a device up for a counter type, without its widgets:
// the walk through its seven steps from the choices made, the firmware check
// on the chosen type, the flash it may lead to, and programming with the
// counter write that follows. It drives the device link and the flash run it
// is given. What needs deciding it asks by question(); its user answers by
// calling the matching method. What the page shows is view(), drawn anew on
// viewChanged().
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

    // The four choice lists, in the order of the view's choices.
    enum class Choice { NumberOfDigits, Ua, DecimalPlaces, Direction };

    enum class Question {
        FlashFirmware, // answered by flash() or keepFirmware()
        WriteCounter,  // answered by writeCounter() or skipCounterWrite()
    };
    Q_ENUM(Question)

    struct Record
    {
        int rowIndex = -1;          // the wizard table's row, -1 for none
        quint16 requiredFirmware = 0;
        std::optional<quint16> deviceFirmware; // as read, or as flashed since
        WizardEntry entry;          // the counter entry as step 6 prepared it
        QByteArray counterDigits;   // what programming writes as the counter
        bool directionFixed = false; // Ua "---": the direction is right, not chosen
        WizardProgram program;      // what the last programming sent or offered to send
    };

    WizardFlow(DeviceLink *link, FlashRun *flashRun, QObject *parent = nullptr);

    [[nodiscard]] State state() const { return m_state; }
    [[nodiscard]] const Record &record() const { return m_record; }
    // True from the read of the firmware check until its verdict.
    [[nodiscard]] bool readsFirmware() const;
    // The page's step, 1 to 7.
    [[nodiscard]] int step() const { return m_step; }
    [[nodiscard]] WizardView view(int language) const;
    // Where step 6 prefills the counter entry from, read as the step is entered.
    void setCounterReading(std::function<QString()> reading) { m_counterReading = std::move(reading); }

    // A choice of the list's item at index: the empty item leads back to the
    // row's own step, any other on to the next. Refused while programming runs.
    void choose(Choice choice, int index);
    // Steps 1 to 6 (anything else is step 1). Steps 2 and 3 fill the next
    // list anew; 1 keeps every choice. A step in the first three rows
    // abandons a check or flash underway: an answer still on its way moves
    // the wizard no further. Programming runs its course, for the counter
    // must follow the parameters sent. Step 4 reads the device, whose
    // firmware is then judged; it fails at once, leaving the page as it was,
    // unless the link is free for a request. Steps 5 and 6 are entered again
    // each time the direction changes; nothing while a request or a flash is
    // underway, nor for a type whose check did not pass.
    void showStep(int step);
    // Sends the parameters; the counter question follows their answer or
    // time-out. False, changing nothing, when nothing went out.
    bool program(const ParameterRecord &record, const QByteArray &counterDigits);

    // True while programming runs: its record and counter stay as sent, and
    // a new choice is refused until it has ended.
    [[nodiscard]] bool isProgramming() const { return programming(); }
    // The firmware image the counter type needs, in the flash tool's folder.
    [[nodiscard]] QString firmwareFile() const;
    // The flash question's plea names the firmware the counter type needs.
    [[nodiscard]] MessageId flashPlea() const { return firmwareFlashPlea(m_record.requiredFirmware); }
    // The flash is not read back: the device is taken to run what was flashed.
    [[nodiscard]] ParameterRecord asFlashed(ParameterRecord record) const;
    // The record programming is to send: the table's record with the chosen
    // row's significance, the direction (right for a Ua "---" counter) and
    // the entry as the counter; the page goes to step 7. False, changing
    // nothing, while a check, a flash or programming is underway, or when
    // the type's firmware check did not pass; then send it with program().
    bool prepareProgram(const ParameterRecord &table, const QString &entryText);

    // The answers to the flash question.
    void flash(const FlashRun::Request &request);
    void keepFirmware();
    // The answers to the counter question; true when the counter went out.
    bool writeCounter();
    void skipCounterWrite();

signals:
    // Also when a step is entered again, as step 6 is for another direction;
    // after viewChanged(), so that a box opened in answer covers the page drawn.
    void stateChanged(tavik7::WizardFlow::State state, tavik7::WizardFlow::State previous);
    void viewChanged();
    // After stateChanged(): the wizard's flash has ended, flashed or not, so
    // its page is the one to see again.
    void flashEnded();
    // After stateChanged(): the counter entry's last digit is a graduation
    // mark, which the technician must be told of before typing.
    void graduationMarkShown();
    // The flash succeeded; the device is taken to run the firmware flashed
    // from now on. Before step 5, whose counter entry may follow at once.
    void flashed();
    // Asked from the event loop, never from inside the port's data slot, so
    // a box opened in answer holds back no answer of the device.
    void question(tavik7::WizardFlow::Question question);
    // The counter write of programming has been answered; from the event loop
    // too. The firmware, as text, is the one the type plates must name.
    void programmed(const QString &firmware);
    // Each request the wizard sends, for its view to show as it shows its own.
    void requestSent(tavik7::DeviceReply *reply);

private:
    [[nodiscard]] bool firmwareChecked() const;
    [[nodiscard]] bool checking() const;
    [[nodiscard]] bool programming() const;
    void setState(State state);
    void goTo(int step, State state);
    void checkFirmware();
    void chooseDirection();
    void enterCounter();
    [[nodiscard]] QString choiceText(Choice choice) const;
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
    int m_step = 1;
    std::array<int, 4> m_choices{};
    // As filled by steps 2 and 3; the other two lists are the text table's.
    QStringList m_uaItems;
    QStringList m_decimalPlacesItems;
    int m_entryPrefill = 0;
    std::function<QString()> m_counterReading;
    Record m_record;
};

} // namespace tavik7
