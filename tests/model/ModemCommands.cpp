// The modem's answers to each command, as 3GPP TS 27.005/27.007 describe them with
// verbose result codes: information lines framed by CR LF, then the final result code.
#include "ModelModem.h"

namespace zorvel::model {

namespace {

const std::string ok = "\r\nOK\r\n";
const std::string error = "\r\nERROR\r\n";

bool isIndex(const std::string& text)
{
    if (text.empty() || text.size() > 5)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::string pduLength(const std::string& hex)
{
    // Octets of the TPDU: the hex without the service centre part ("00": none).
    return std::to_string(hex.size() >= 2 ? hex.size() / 2 - 1 : 0);
}

} // namespace

std::optional<std::string> ModelModem::malformed(const std::string& line, const std::string& name,
                                                 const std::string& argument) const
{
    if (line.find_first_of("\r\n") != std::string::npos)
        return "more than one command line in one write";
    if (!line.starts_with("AT"))
        return "no AT in front";
    if (line.find(';') != std::string::npos)
        return "';' joins a further command to it";
    if ((name == "CMGD" || name == "CMGR") && argument.starts_with("=")) {
        std::string index = argument.substr(1);
        if (name == "CMGD" && index.ends_with(",0"))
            index.resize(index.size() - 2); // delete flag 0: this index only
        if (!isIndex(index))
            return "the index is not 1 to 5 digits";
    }
    return std::nullopt;
}

ModelModem::Pieces ModelModem::run(const std::string& name, const std::string& argument, bool fail)
{
    if (fail)
        return {name.starts_with("CMG") ? "\r\n+CMS ERROR: 500\r\n" : error};
    if (name.empty() || name == "CMEE" || name == "CNMI" || name == "CSCS")
        return {ok};
    if (name == "CSDH" && (argument.empty() || argument == "=0" || argument == "=1")) {
        textLengths_ = argument == "=1";
        return {ok};
    }
    if (name == "Z") {
        echo_ = profileEcho_;
        textLengths_ = false;
        return {ok};
    }
    if (name == "E" || name == "E0" || name == "E1") {
        echo_ = name == "E1";
        return {ok};
    }
    if (name == "CMGF" && (argument == "=0" || argument == "=1")) {
        pduMode_ = argument == "=0";
        return {ok};
    }
    if (name == "CMGF" && argument == "?")
        return {"\r\n+CMGF: " + std::string(pduMode_ ? "0" : "1") + "\r\n", ok};
    if (name == "CNUM")
        return {"\r\n+CNUM: \"\",\"+15550001234\",145\r\n", ok};
    if (name == "SYSINFO")
        return {"\r\n^SYSINFO:2,3,0,5,1,,4\r\n", ok};
    if (name == "GSN")
        return {"\r\n356938035643809\r\n", ok};
    if (name == "CIMI")
        return {"\r\n262019876543210\r\n", ok};
    if (name == "CSQ")
        return {"\r\n+CSQ: 18,99\r\n", ok};
    if (name == "COPS" && argument == "?")
        return {"\r\n+COPS: 0,0,\"SimNet\",2\r\n", ok};
    if (name == "CMGL")
        return list(argument);
    if ((name == "CMGR" || name == "CMGD") && argument.starts_with("=")) {
        const int index = std::stoi(argument.substr(1)); // checked: 1 to 5 digits
        return name == "CMGR" ? read(index) : remove(index);
    }
    if (name == "CMGS" && argument.starts_with("=")) {
        prompt_ = true;
        return {"\r\n> "};
    }
    return {error};
}

ModelModem::Pieces ModelModem::list(const std::string& argument)
{
    // Which status the list asks for; in the other format's words the command is refused.
    std::optional<bool> wantRead; // nothing: all
    if (pduMode_) {
        if (argument == "=0" || argument.empty())
            wantRead = false;
        else if (argument == "=1")
            wantRead = true;
        else if (argument != "=4")
            return {"\r\n+CMS ERROR: 304\r\n"};
    } else {
        if (argument == "=\"REC UNREAD\"" || argument.empty())
            wantRead = false;
        else if (argument == "=\"REC READ\"")
            wantRead = true;
        else if (argument != "=\"ALL\"")
            return {"\r\n+CMS ERROR: 305\r\n"};
    }
    Pieces pieces;
    for (auto& [index, m] : store_.messages()) {
        if (wantRead && *wantRead != m.read)
            continue;
        std::string entry = pieces.empty() ? "\r\n" : "";
        if (pduMode_)
            entry += "+CMGL: " + std::to_string(index) + "," + (m.read ? "1" : "0") + ",," +
                     pduLength(m.hex) + "\r\n" + m.hex + "\r\n";
        else
            entry += "+CMGL: " + std::to_string(index) + ",\"" + (m.read ? "REC READ" : "REC UNREAD") +
                     "\",\"" + m.oa + "\",,\"" + m.scts + "\"" +
                     (textLengths_ ? ",145," + std::to_string(m.text.size()) : "") + "\r\n" + m.text + "\r\n";
        pieces.push_back(std::move(entry));
        store_.at(index)->read = true;
    }
    pieces.push_back(ok);
    return pieces;
}

ModelModem::Pieces ModelModem::read(int index)
{
    StoredMessage* m = store_.at(index);
    if (!m)
        return {"\r\n+CMS ERROR: 321\r\n"};
    std::string head;
    if (pduMode_)
        head = "\r\n+CMGR: " + std::string(m->read ? "1" : "0") + ",," + pduLength(m->hex) +
               "\r\n" + m->hex + "\r\n";
    else
        head = "\r\n+CMGR: \"" + std::string(m->read ? "REC READ" : "REC UNREAD") + "\",\"" +
               m->oa + "\",,\"" + m->scts + "\"" +
               (textLengths_ ? ",145,4,0,0,\"+15550000000\",145," + std::to_string(m->text.size()) : "") +
               "\r\n" + m->text + "\r\n";
    m->read = true;
    return {head, ok};
}

ModelModem::Pieces ModelModem::remove(int index)
{
    if (!store_.at(index))
        return {"\r\n+CMS ERROR: 321\r\n"};
    store_.remove(index);
    return {ok};
}

} // namespace zorvel::model
