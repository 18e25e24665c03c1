#include "ServerThread.h"

ServerThread::ServerThread(qintptr socketDescriptor, QObject* parent)
    : WireConnection(socketDescriptor, &WireCodec::statusForm, parent)
{
}

void ServerThread::handle(const WireMessage& message)
{
    // A flag byte of zero is the tracker's refusal: log it, emit nothing.
    auto flag = [&](const char* name, void (ServerThread::*signal)()) {
        if (message.value != 0)
            emit(this->*signal)();
        else
            log(QStringLiteral("Error: %1.").arg(QLatin1String(name)));
    };
    auto image = [&]() { return QImage::fromData(message.data); };

    switch (message.id) {
    case 110: flag("SetStartTrack", &ServerThread::gotSetStartTrack); break;
    case 111: flag("SetStopTrack", &ServerThread::gotSetStopTrack); break;
    case 112: emit gotCurObjPatch(image()); break;
    case 113: flag("SetStartCap", &ServerThread::gotSetStartCap); break;
    case 114: flag("SetStopCap", &ServerThread::gotSetStopCap); break;
    case 115: flag("SetTakeOff", &ServerThread::gotSetTakeOff); break;
    case 116: emit gotCurFM(message.text); break;
    case 117: flag("SetFMStabilize", &ServerThread::gotSetFMStabilize); break;
    case 118: flag("SetFMLoiter", &ServerThread::gotSetFMLoiter); break;
    case 119: flag("SetFMGuided", &ServerThread::gotSetFMGuided); break;
    case 120: flag("SetFMRTL", &ServerThread::gotSetFMRTL); break;
    case 121: flag("SetFMLand", &ServerThread::gotSetFMLand); break;
    case 122: flag("SetRCReset", &ServerThread::gotSetRCReset); break;
    case 123: emit gotCurGPSPos(message.text); break;
    case 124: flag("SetGoGPSWP", &ServerThread::gotSetGoGPSWP); break;
    case 125: emit gotCurAltitude(message.value); break;
    case 126: flag("SetGoAltitude", &ServerThread::gotSetGoAltitude); break;
    case 127: emit gotCurInitModel(message.text); break;
    case 128: emit gotCurFrame(image()); break;
    case 129: flag("SetInitPatch", &ServerThread::gotSetInitPatch); break;
    case 130: flag("SetInitHOG", &ServerThread::gotSetInitHOG); break;
    case 200: emit gotLowBat(); log("LowBat."); break;
    case 201: emit gotLostObj(); log("LostObj."); break;
    case 202: flag("SucGoGPS", &ServerThread::gotSucGoGPS); break;
    case 203: flag("SucGoAltitude", &ServerThread::gotSucGoAltitude); break;
    case 204: flag("SucInitPatch", &ServerThread::gotSucInitPatch); break;
    case 205: flag("SucInitHOG", &ServerThread::gotSucInitHOG); break;
    default: log("Unknown message!"); break;
    }
}
