#pragma once

#include <QString>
#include <exception>

// The one exception type the store and its neighbours raise. Callers at the edge
// (the GUI's error box, the CLI's stderr line) show message() and carry on.
class QuilloryError : public std::exception
{
public:
    explicit QuilloryError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The text of the exception being handled, whatever the layer below threw; only inside a catch
// block.
inline QString currentExceptionText()
{
    try {
        throw;
    } catch (const QuilloryError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("An unknown error occurred.");
    }
}
