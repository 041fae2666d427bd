#include "cabinet/ESTCabinet.h"

#include <cstring>

namespace
{

QString hexCode(int code)
{
    return QLatin1String("[0x") + QString::number(static_cast<uint>(code), 16).toUpper().rightJustified(4, u'0') + u']';
}

QString systemText(int code)
{
    // strerror's text is the system's own wording, as the user sees it elsewhere.
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

ESTCabinet::ESTCabinet(Side side, int operationCode, int systemErrorCode, bool errorPresent)
    : QuilloryError(buildMessage(side, operationCode, systemErrorCode, errorPresent)), m_side(side),
      m_operationCode(operationCode), m_systemErrorCode(systemErrorCode), m_errorPresent(errorPresent)
{
}

QString ESTCabinet::operationText(Side side, int code)
{
    if (side == Writing) {
        switch (code) {
        case 0:
            return QStringLiteral("No error");
        case 1:
            return QStringLiteral("Failure opening file to be stored in cabinet");
        case 2:
            return QStringLiteral("Failure reading file to be stored in cabinet");
        case 3:
            return QStringLiteral("Out of memory in FCI");
        case 4:
            return QStringLiteral("Could not create a temporary file");
        case 5:
            return QStringLiteral("Unknown compression type");
        case 6:
            return QStringLiteral("Could not create cabinet file");
        case 7:
            return QStringLiteral("Client requested abort");
        case 8:
            return QStringLiteral("Failure compressing data");
        default:
            return QStringLiteral("FCI error");
        }
    }
    switch (code) {
    case 0:
        return QStringLiteral("No error");
    case 1:
        return QStringLiteral("Cabinet not found");
    case 2:
        return QStringLiteral("Cabinet file does not have the correct format");
    case 3:
        return QStringLiteral("Cabinet file has an unknown version number");
    case 4:
        return QStringLiteral("Cabinet file is corrupt");
    case 5:
        return QStringLiteral("Could not allocate enough memory");
    case 6:
        return QStringLiteral("Unknown compression type in a cabinet folder");
    case 7:
        return QStringLiteral("Failure decompressing data from a cabinet file");
    case 8:
        return QStringLiteral("Failure writing to target file");
    case 9:
        return QStringLiteral("Cabinets in a set do not have the same RESERVE sizes");
    case 10:
        return QStringLiteral("Cabinet returned on fdintNEXT_CABINET is incorrect");
    case 11:
        return QStringLiteral("FDI aborted");
    default:
        return QStringLiteral("FDI error");
    }
}

QString ESTCabinet::buildMessage(Side side, int operationCode, int systemErrorCode, bool errorPresent)
{
    if (!errorPresent)
        return side == Writing ? QStringLiteral("FCI error") : QStringLiteral("FDI error");
    QString msg = operationText(side, operationCode) + u' ' + hexCode(operationCode);
    if (systemErrorCode != 0)
        msg += QLatin1String(".\r\n") + systemText(systemErrorCode) + u' ' + hexCode(systemErrorCode) + u'.';
    return msg;
}
