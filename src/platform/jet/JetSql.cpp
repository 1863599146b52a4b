#include "platform/jet/JetSql.h"

#include "platform/jet/JetAnalyser.h"
#include "platform/jet/JetEmitter.h"
#include "platform/jet/JetParser.h"
#include "platform/jet/JetPlanner.h"

namespace orv {

// Parse, check against the layout (each throws the DbError Jet would give), write SQL, plan the
// rows without SQL as far as the statement allows.
TranslatedQuery translateJet(const std::string& statement, const CatalogSchema& schema)
{
    jet::Statement st = jet::parseStatement(statement);
    const jet::Analysis analysis = jet::analyse(statement, st, schema);
    TranslatedQuery q = jet::emitQuery(st, analysis);
    q.plan = jet::planRows(st, analysis);
    return q;
}

} // namespace orv
