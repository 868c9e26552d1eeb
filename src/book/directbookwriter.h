#pragma once

#include "bookwriter.h"
#include "devicebook.h"

namespace tavik7::book {

// The book in this process: write() returns once the event is committed or
// missed, and written() has come by then. The command line records so, and
// so does the writer process.
class DirectBookWriter : public BookWriter
{
    Q_OBJECT

public:
    DirectBookWriter(const QString &bookPath, const QString &changeHistoryPath, FrontEnd frontEnd,
                     QObject *parent = nullptr);

    void write(const BookEvent &event) override;
    [[nodiscard]] QString bookPath() const override { return m_bookPath; }
    void sendWaiting() override;
    [[nodiscard]] DeviceBook &book() { return m_book; }

private:
    BookResult record(const BookEvent &event);
    // A server's event it did not take goes to the outbox instead.
    BookResult keepInOutbox(const BookEvent &event, const BookResult &missed);

    QString m_bookPath;
    QString m_changeHistoryPath;
    FrontEnd m_frontEnd;
    DeviceBook m_book;
    Outbox m_outbox;
};

} // namespace tavik7::book
