#include "pipeline/wrapper_declarations.h"

namespace brisko::pipeline {
namespace {

std::string procedureDeclaration(const std::string& name, const DeclarationParts& parts) {
  std::string declaration = name + parts.type;
  const std::vector<std::string>& tokens = parts.parameters;
  bool parameterOpen = false;
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    const std::string& token = tokens[k];
    declaration += token;
    if (!parameterOpen && token != "(" && token != ")") {
      parameterOpen = true;
      const bool typed = k + 1 < tokens.size() && tokens[k + 1] == ".";
      if (!token.ends_with('$') && !typed) declaration += parts.defaultType;
    }
    if (token == ",") parameterOpen = false;
  }
  declaration += " As \"" + name + "\"";
  return declaration;
}

}  // namespace

std::string wrapperDeclaration(const SymbolRecord& record) {
  if (!record.declaration) return {};
  const DeclarationParts& parts = *record.declaration;
  const std::string& name = record.outputName;
  switch (record.kind) {
    case SymbolKind::procedureDll:
    case SymbolKind::procedureCDll:
    case SymbolKind::procedure:
      return procedureDeclaration(name, parts);
    case SymbolKind::array:
    case SymbolKind::list:
      if (!name.ends_with('$')) return name + "_arrayPTR As \"" + name + "\"";
      return name.substr(0, name.size() - 1) + "_stringarrayPTR As \"" + name + "\"";
    case SymbolKind::variable: {
      std::string suffix;
      if (!name.ends_with('$')) suffix = parts.type.empty() ? parts.defaultType : parts.type;
      return name + suffix + " AS \"" + name + "\"";
    }
    case SymbolKind::external:
    case SymbolKind::localData:
    case SymbolKind::alias:
    case SymbolKind::mainLabel:
    case SymbolKind::heldData:
      break;
  }
  return {};
}

}  // namespace brisko::pipeline
