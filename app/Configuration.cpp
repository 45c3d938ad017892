#include "Configuration.h"

namespace zorvel {

ConfigurationResult LoadConfiguration(const std::string& folder)
{
    ConfigurationResult result;
    Configuration c;
    c.iniPath = folder + "/zorvel.ini";
    c.COMport = 3;
    c.COMspeed = "9600,n,8,1";
    c.PDUmode = "0";
    result.config = c; // placeholder until the INI reader lands
    return result;
}

} // namespace zorvel
