#pragma once

#include "core/QuilloryError.h"

// The cabinet layer's failure: the operation code of the cabinet interface (writing and
// reading have their own tables), the system error behind it when there was one, and a
// message built from both.
class ESTCabinet : public QuilloryError
{
public:
    enum Side { Writing, Reading };

    // Writing codes.
    enum WriteCode {
        FciNone = 0,
        FciOpenSource = 1,
        FciReadSource = 2,
        FciAllocFail = 3,
        FciTempFile = 4,
        FciBadCompressionType = 5,
        FciCabFileCreate = 6,
        FciUserAbort = 7,
        FciMciFail = 8,
    };
    // Reading codes.
    enum ReadCode {
        FdiNone = 0,
        FdiCabinetNotFound = 1,
        FdiNotACabinet = 2,
        FdiUnknownCabinetVersion = 3,
        FdiCorruptCabinet = 4,
        FdiAllocFail = 5,
        FdiBadCompressionType = 6,
        FdiMdiFail = 7,
        FdiTargetFile = 8,
        FdiReserveMismatch = 9,
        FdiWrongCabinet = 10,
        FdiUserAbort = 11,
    };

    // errorPresent false: the library failed without saying why ("FCI error" / "FDI error").
    ESTCabinet(Side side, int operationCode, int systemErrorCode = 0, bool errorPresent = true);

    Side side() const { return m_side; }
    int operationCode() const { return m_operationCode; }
    int systemErrorCode() const { return m_systemErrorCode; }
    bool errorPresent() const { return m_errorPresent; }

    static QString operationText(Side side, int code);
    static QString buildMessage(Side side, int operationCode, int systemErrorCode, bool errorPresent);

private:
    Side m_side;
    int m_operationCode;
    int m_systemErrorCode;
    bool m_errorPresent;
};
