#include "core/net/ServerThread.h"

ServerThread::ServerThread(qintptr socketDescriptor, QObject* parent)
    : WireConnection(socketDescriptor, &WireCodec::requestForm, parent)
{
}

void ServerThread::handle(const WireMessage& message)
{
    switch (message.id) {
    case 10: log("RqstStartTrack."); emit gotRqstStartTrack(); break;
    case 11: log("RqstStopTrack."); emit gotRqstStopTrack(); break;
    case 12: log("RqstObjPatch."); emit gotRqstObjPatch(); break;
    case 13: log("RqstStartCap."); emit gotRqstStartCap(); break;
    case 14: log("RqstStopCap."); emit gotRqstStopCap(); break;
    case 15: log("RqstTakeOff."); emit gotRqstTakeOff(); break;
    case 16: log("RqstFM."); emit gotRqstFM(); break;
    case 17: log("RqstFMStabilize."); emit gotRqstFMStabilize(); break;
    case 18: log("RqstFMLoiter."); emit gotRqstFMLoiter(); break;
    case 19: log("RqstFMGuided."); emit gotRqstFMGuided(); break;
    case 20: log("RqstFMRTL."); emit gotRqstFMRTL(); break;
    case 21: log("RqstFMLand."); emit gotRqstFMLand(); break;
    case 22: log("RqstRCReset."); emit gotRqstRCReset(); break;
    case 23: log("RqstGPSPos."); emit gotRqstGPSPos(); break;
    case 24: log("RqstGoGPSWP: " + message.text); emit gotRqstGoGPSWP(message.text); break;
    case 25: log("RqstAltitude."); emit gotRqstAltitude(); break;
    case 26:
        log("RqstGoAltitude: " + QString::number(message.value));
        emit gotRqstGoAltitude(message.value);
        break;
    case 27: log("RqstInitModel."); emit gotRqstInitModel(); break;
    case 28: log("RqstFrame."); emit gotRqstFrame(); break;
    case 29: log("RqstInitPatch."); emit gotRqstInitPatch(message.data); break;
    case 30: log("RqstInitHOG."); emit gotRqstInitHOG(); break;
    case 31: log("RqstClientPos: " + message.text); emit gotRqstClientPos(message.text); break;
    default: log("Unknown message!"); break;
    }
}
