#include "Profile.h"

namespace zorvel::sim {

namespace {

QList<Profile> makeProfiles()
{
    Profile huawei;
    huawei.name = "e1750";
    huawei.description = "Huawei E1750-like USB stick: echo, \"\\r\\r\\n\" after the echo, ^SYSINFO, indexes from 0";
    huawei.echo = true;
    huawei.echoStyle = EchoStyle::CrCrLf;
    huawei.sysinfo = "^SYSINFO:2,3,0,5,1,,4";
    huawei.imei = "350000112345679";
    huawei.imsi = "001010123456789";
    huawei.ownNumber = "+CNUM: \"\",\"+15550001234\",145";
    huawei.signal = "+CSQ: 18,99";
    huawei.operatorLine = "+COPS: 0,0,\"SimNet\",2";
    huawei.manufacturer = "huawei";
    huawei.model = "E1750";
    huawei.revision = "11.126.00.00.00";
    huawei.smsc = "+15550000000";
    huawei.firstIndex = 0;
    huawei.capacity = 30;
    huawei.capacityMe = 100;
    huawei.junk = {"\r\n^RSSI:18\r\n", "\r\n^MODE:5,4\r\n", "\r\n^BOOT:11111111,0,0,0,75\r\n"};

    Profile generic;
    generic.name = "generic";
    generic.description = "plain 27.005/27.007 modem: echoes every byte (LF too), no ^SYSINFO, "
                          "text headers with <tooa>,<length>, indexes from 1";
    generic.echo = true;
    generic.echoStyle = EchoStyle::Exact;
    generic.imei = "860000007654329";
    generic.imsi = "001010987654321";
    generic.ownNumber = "+CNUM: \"Own number\",\"+15550001234\",145";
    generic.signal = "+CSQ: 23,0";
    generic.operatorLine = "+COPS: 0,0,\"SimNet\"";
    generic.manufacturer = "SimModem";
    generic.model = "Generic GSM";
    generic.revision = "1.0";
    generic.smsc = "+15550000000";
    generic.firstIndex = 1;
    generic.capacity = 20;
    generic.capacityMe = 50;
    generic.headerWithLength = true;
    generic.junk = {"\r\n+CREG: 1\r\n", "\r\nRING\r\n"};

    return {huawei, generic};
}

const QList<Profile>& profiles()
{
    static const QList<Profile> all = makeProfiles();
    return all;
}

} // namespace

const Profile* findProfile(const QByteArray& name)
{
    for (const Profile& p : profiles())
        if (p.name == name) return &p;
    return nullptr;
}

QList<QByteArray> profileNames()
{
    QList<QByteArray> names;
    for (const Profile& p : profiles()) names.append(p.name);
    return names;
}

} // namespace zorvel::sim
