#include "platform/jet/JetSql.h"

#include "platform/jet/JetAnalyser.h"
#include "platform/jet/JetEmitter.h"
#include "platform/jet/JetParser.h"

namespace orv {

// Parse, check against the layout, write SQL: each stage throws the DbError Jet would give.
TranslatedQuery translateJet(const std::string& statement, const CatalogSchema& schema)
{
    jet::Statement st = jet::parseStatement(statement);
    const jet::Analysis analysis = jet::analyse(statement, st, schema);
    return jet::emitQuery(st, analysis);
}

} // namespace orv
