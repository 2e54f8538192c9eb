// Everyday program 1: read a configuration. Run as the test Examples.ReadConfig:
// read_config CONFIG, with CONFIG examples/config.xml.
#include <linexml/linexml.h>

#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: read_config CONFIG\n";
    return 2;
  }
  linexml::TXMLParser Config;
  Config.setFileName(argv[1]);  // loads the file; loading never throws
  if (Config.XMLErrorCode() != linexml::ecOk) {
    std::cerr << argv[1] << ":" << Config.ErrorLine() << ": " << linexml::ErrorCodeName(Config.XMLErrorCode())
              << "\n";
    return 1;
  }

  // A path names one element; FindAttribute tells a missing attribute from any value.
  const linexml::TXMLNode* Server = Config.Select("/config/server");
  const linexml::TXMLAttribute* Port = Server != nullptr ? Server->FindAttribute("port") : nullptr;
  if (Port == nullptr) {
    std::cerr << "no /config/server port\n";
    return 1;
  }
  // Text() is the element's own text without the spaces around it.
  const linexml::TXMLNode* Url = Config.Select("/config/database/url");
  const std::string Database = Url != nullptr ? Url->Text() : "";
  std::cout << "server " << Server->GetAttributeValue("host") << ":" << Port->Value << "\n";
  std::cout << "database " << Database << "\n";

  // Every match, in document order.
  int Enabled = 0;
  for (const linexml::TXMLNode* Feature : Config.SelectAll("//features/feature")) {
    const linexml::TXMLAttribute* On = Feature->FindAttribute("enabled");
    const bool Yes = On != nullptr && On->Value == "yes";
    std::cout << "feature " << Feature->GetAttributeValue("name") << (Yes ? " on" : " off") << "\n";
    Enabled += Yes ? 1 : 0;
  }
  // What a test of this example checks.
  return Port->Value == "8080" && Database == "postgres://db.example/orders" && Enabled == 1 ? 0 : 1;
}
