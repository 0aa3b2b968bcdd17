#include "core/link/SocketErrors.h"

#include <cerrno>

namespace kestrava::SocketErrors {

int numberOf(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return kConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError:
        return kConnectionReset;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketResourceError:
        return 10055;
    case QAbstractSocket::SocketTimeoutError:
        return kTimedOut;
    case QAbstractSocket::DatagramTooLargeError:
        return 10040;
    case QAbstractSocket::NetworkError:
        return kNetworkDown;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return 10045;
    default:
        return 10000 + static_cast<int>(error);
    }
}

int numberOfErrno(int error) {
    switch (error) {
    case ECONNRESET:
    case EPIPE:
        return kConnectionReset;
    case ECONNABORTED:
        return kConnectionAborted;
    case ENETRESET:
        return kNetworkReset;
    case ETIMEDOUT:
        return kTimedOut;
    case ECONNREFUSED:
        return kConnectionRefused;
    case ENOBUFS:
    case ENOMEM:
        return numberOf(QAbstractSocket::SocketResourceError);
    default:
        return kNetworkDown;
    }
}

bool closesConnection(int number) {
    switch (number) {
    case kNetworkDown:
    case kNetworkReset:
    case kConnectionAborted:
    case kConnectionReset:
    case kConnectionRefused:
    case kNoRecovery:
        return true;
    default:
        return false;
    }
}

} // namespace kestrava::SocketErrors
