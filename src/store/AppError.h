#pragma once

#include <QString>
#include <exception>

// An error that ends the action in progress. The window that started the action
// shows its message in the standard error box and the program goes on running.
class AppError : public std::exception
{
public:
    explicit AppError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
