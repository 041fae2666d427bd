#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

// The command line's streams. Tests hand in buffers and compare exact bytes.
struct CliIo {
    QIODevice *out = nullptr;
    QIODevice *err = nullptr;
    QIODevice *in = nullptr;

    void print(const QString &text) const { write(out, text); }
    void printLine(const QString &text) const { write(out, text + u'\n'); }
    void error(const QString &text) const { write(err, text + u'\n'); }
    // A question, on the messages' stream and without a line end, so the answer follows it.
    void ask(const QString &text) const { write(err, text); }
    void writeRaw(const QByteArray &bytes) const
    {
        if (out)
            out->write(bytes);
    }
    // A long answer is gathered in blocks and written each time one holds a megabyte, so it
    // streams out without being held whole. The block keeps its memory for the next one: grown
    // again from nothing each time, a 680 MB answer cost half a second more in copies.
    void writeWhenFull(QByteArray &block) const
    {
        if (block.size() > (1 << 20)) {
            writeRaw(block);
            block.resize(0);
        }
    }
    // One line from the input, without its line end; null at end of input.
    QString readLine() const;

private:
    static void write(QIODevice *dev, const QString &text)
    {
        if (dev)
            dev->write(text.toUtf8());
    }
};
