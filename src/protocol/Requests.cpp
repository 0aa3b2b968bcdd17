#include "protocol/Requests.h"

#include "protocol/Messages.h"

namespace kestrava {

namespace {

MessageKind kindOf(Request request) {
    switch (request) {
    case Request::Schedule:
        return MessageKind::AskSchedule;
    case Request::Settings:
        return MessageKind::AskSettings;
    case Request::WhiteList:
        return MessageKind::AskWhiteList;
    case Request::BlockList:
        break;
    }
    return MessageKind::AskBlockList;
}

} // namespace

QString encodeRequest(Request request) {
    return QString(Messages::letterOf(kindOf(request)));
}

std::optional<Request> decodeRequest(QStringView message) {
    for (Request request : {Request::Schedule, Request::Settings, Request::WhiteList, Request::BlockList}) {
        if (Messages::kindOf(MessageSender::Client, message) == kindOf(request))
            return request;
    }
    return std::nullopt;
}

} // namespace kestrava
