#include "platform/JetSql.h"

#include "platform/JetAnalyser.h"
#include "platform/JetEmitter.h"
#include "platform/JetParser.h"

namespace orv {

// Parse, check against the layout, write SQL: each stage throws the DbError Jet would give.
TranslatedQuery translateJet(const std::string& statement, const CatalogSchema& schema)
{
    jet::Statement st = jet::parseStatement(statement);
    const jet::Analysis analysis = jet::analyse(statement, st, schema);
    return jet::emitQuery(st, analysis);
}

} // namespace orv
