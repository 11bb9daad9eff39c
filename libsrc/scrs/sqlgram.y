/* The cursor layer's SQL grammar. Every rule builds a parse-tree node whose
 * template regenerates the node's text from its children's texts (slot n is
 * the three bytes 0xFF 0x01 n). The parser is pure: its stacks and the tree
 * under construction belong to the one parse; on any failure the nodes still
 * on the stacks are freed by the destructor below. */
%define api.pure full
%define api.prefix {scsql}
%define api.token.prefix {TK_}
%expect 4
%param {void *scanner}
%parse-param {ScsqlState *st}

%code requires {
#include "scrs/sqlscan.h"
}

%code {
#include <cstring>
#include <initializer_list>

int scsqllex(SCSQLSTYPE *lval, void *scanner);
void scsql_BeginInitial(void *scanner);

#define YYINITDEPTH 200
#define YYMAXDEPTH 10000
#define YYSTACK_USE_ALLOCA 0

static void scsqlerror(void *, ScsqlState *st, const char *msg) {
  // A scanner failure already holds the error of its own.
  if (!st->fatal) scsql_Error(st, msg);
}

#define S1 "\xFF\x01\x01"
#define S2 "\xFF\x01\x02"
#define S3 "\xFF\x01\x03"
#define S4 "\xFF\x01\x04"
#define S5 "\xFF\x01\x05"
#define S6 "\xFF\x01\x06"

// A node over the children; on failure the children are freed here (the
// parser does not free the symbols of the rule whose action gives up).
static PTNode *MakeNode(ScsqlState *st, int type, const char *tmpl, std::initializer_list<PTNode *> kids) {
  PTNode *n = nullptr;
  bool complete = true;
  for (PTNode *k : kids) complete = complete && k;
  if (complete && st->nodes < SCSQL_NODE_BUDGET) n = PT_NodeStatic(type, tmpl, static_cast<int>(kids.size()), kids.begin(), st->arena);
  if (!n) {
    for (PTNode *k : kids) PT_SubtreeFree(&k, PT_NodeFree);
    st->fatal = 16;
    return nullptr;
  }
  ++st->nodes;
  return n;
}

static PTNode *MakeLeaf(ScsqlState *st, int type, const char *text) {
  PTNode *n = st->nodes < SCSQL_NODE_BUDGET ? PT_Leaf(type, text ? text : "", st->arena) : nullptr;
  if (!n) {
    st->fatal = 16;
    return nullptr;
  }
  ++st->nodes;
  return n;
}

// The subquery an expression consists of, its wrappers freed; else the
// expression.
static PTNode *BareSubquery(PTNode *expr) {
  PTNode *term = expr->count == 1 ? expr->child : nullptr;
  PTNode *factor = term && term->type == 91 && term->count == 1 ? term->child : nullptr;
  PTNode *primary = factor && factor->type == 24 && factor->count == 1 && strcmp(factor->tmpl, S1) == 0
                        ? factor->child : nullptr;
  PTNode *sub = primary && primary->type == 60 && primary->count == 1 ? primary->child : nullptr;
  if (!sub || sub->type != 85) return expr;
  primary->child = nullptr;
  primary->count = 0;
  PT_SubtreeFree(&expr, PT_NodeFree);
  return sub;
}

#define N(dst, type, tmpl, ...)                              \
  do {                                                       \
    (dst) = MakeNode(st, (type), (tmpl), {__VA_ARGS__});     \
    if (!(dst)) YYNOMEM;                                     \
  } while (0)
#define L(dst, type, text)                                   \
  do {                                                       \
    (dst) = MakeLeaf(st, (type), (text));                    \
    if (!(dst)) YYNOMEM;                                     \
  } while (0)
}

%union {
  ScsqlSymbol *sym;
  PTNode *node;
}

%destructor { PT_SubtreeFree(&$$, PT_NodeFree); } <node>

%token <sym> NAME 258 STRING 259 INTNUM 260 DECNUM 261 FLOATNUM 262 CMPOP 263 AGGNAME 264
%token <sym> ESCAPECL 265 DATELIT 266 TIMELIT 267 TSLIT 268 HEXNUM 269 OJOP 270
%token CONCAT 271 OR 272 AND 273 NOT 274 UNUSED275 275
%token ALL 276 ANY 277 AS 278 ASC 279 BETWEEN 280 BY 281 CURRENT 282 DELETE 283 DESC 284
%token DISTINCT 285 EXISTS 286 FN 287 FROM 288 FULL 289 GROUP 290 HAVING 291 IN 292 INNER 293
%token IS 294 INSERT 295 INTO 296 JOIN 297 LEFT 298 LIKE 299 NULLX 300 OF 301 OJ 302 ON 303
%token OUTER 304 ORDER 305 OTHERWORD 306 PARAM 307 PERCENT 308 RIGHT 309 SELECT 310 SET 311
%token UNION 312 UPDATE 313 USER 314 VALUES 315 WHERE 316 WITH 317 TIES 318 TOP 319 CASE 320
%token ELSE 321 END 322 THEN 323 WHEN 324 VOPEN 325 VCLOSE 326 LBRACE 327 RBRACE 328 CALLBRACE 329

%type <node> statement sql_statement positioned_delete searched_delete insert insert_source
%type <node> select_statement query_specification set_quantifier percent_option ties_option
%type <node> select_head positioned_update assignment_list assignment searched_update where_part
%type <node> select_list table_expression table_list table_element table_reference table_primary
%type <node> joined_table join_type outer_side outer_option where_clause group_part column_list
%type <node> having_part order_part union_part insert_columns union_clause order_clause order_list
%type <node> order_item direction condition predicate outer_join_predicate comparison
%type <node> between_predicate like_predicate like_escape escape_clause null_predicate in_predicate
%type <node> value_list quantified_comparison quantifier exists_predicate subquery expression term
%type <node> factor primary as_option select_item select_prefix value like_pattern aggregate literal
%type <node> table_name column_reference table_identifier column_name item_alias cursor_name
%type <node> parameter table_alias integer comparison_operator outer_join_operator
%type <node> datetime_escape date_escape time_escape timestamp_escape date_literal time_literal
%type <node> timestamp_literal outer_join_escape function_escape function_call function_name
%type <node> argument_list open_brace close_brace vendor_open vendor_close simple_case
%type <node> simple_when_list simple_when searched_case searched_when_list searched_when

%left OR
%left AND
%precedence NOT

%%

input: statement { st->root = $1; } ;

statement:
    sql_statement { $$ = $1; scsql_BeginInitial(scanner); }
  | OTHERWORD { L($$, 0, ""); }
  | CALLBRACE { L($$, 61, ""); }
  ;

sql_statement:
    select_statement | positioned_delete | searched_delete | insert | positioned_update | searched_update ;

positioned_delete:
    DELETE FROM table_name WHERE CURRENT OF cursor_name { N($$, 18, "DELETE FROM " S1 " WHERE CURRENT OF " S2, $3, $7); }
  ;
searched_delete: DELETE FROM table_name where_part { N($$, 19, "DELETE FROM " S1 " " S2, $3, $4); } ;

insert: INSERT INTO table_name insert_columns insert_source { N($$, 28, "INSERT INTO " S1 " " S2 " " S3, $3, $4, $5); } ;
/* VALUES and its parentheses are part of the source's text, so that an
 * INSERT regenerates as written. */
insert_source:
    VALUES '(' value_list ')' { N($$, 100, "VALUES (" S1 ")", $3); }
  | query_specification { N($$, 100, S1, $1); }
  ;

select_statement: query_specification order_part { N($$, 74, S1 " " S2, $1, $2); } ;
query_specification:
    SELECT select_head select_list table_expression { N($$, 72, "SELECT " S1 " " S2 " " S3, $2, $3, $4); }
  ;

set_quantifier: %empty { L($$, 42, ""); } | ALL { L($$, 42, "ALL"); } | DISTINCT { L($$, 42, "DISTINCT"); } ;
percent_option: %empty { L($$, 53, ""); } | PERCENT { L($$, 53, "PERCENT"); } ;
ties_option: %empty { L($$, 53, ""); } | WITH TIES { L($$, 53, "WITH TIES"); } ;

select_head:
    set_quantifier { N($$, 53, S1, $1); }
  | set_quantifier TOP integer percent_option ties_option { N($$, 53, S1 " TOP " S2 " " S3 " " S4, $1, $3, $4, $5); }
  | set_quantifier TOP integer ',' integer percent_option ties_option
      { N($$, 53, S1 " TOP " S2 "," S3 " " S4 " " S5, $1, $3, $5, $6, $7); }
  | set_quantifier TOP '(' expression ')' percent_option ties_option
      { N($$, 53, S1 " TOP (" S2 ") " S3 " " S4, $1, $4, $6, $7); }
  | set_quantifier TOP '(' expression ',' expression ')' percent_option ties_option
      { N($$, 53, S1 " TOP (" S2 ", " S3 ") " S4 " " S5, $1, $4, $6, $8, $9); }
  ;

positioned_update:
    UPDATE table_name SET assignment_list WHERE CURRENT OF cursor_name
      { N($$, 96, "UPDATE " S1 " SET " S2 " WHERE CURRENT OF " S3, $2, $4, $8); }
  ;
assignment_list: assignment { N($$, 5, S1, $1); } | assignment_list ',' assignment { N($$, 5, S1 ", " S2, $1, $3); } ;
assignment:
    column_name CMPOP expression { N($$, 4, S1 " = " S2, $1, $3); }
  | column_name CMPOP NULLX { N($$, 4, S1 " = NULL", $1); }
  ;
searched_update:
    UPDATE table_name FROM table_list SET assignment_list where_part
      { N($$, 97, "UPDATE " S1 " FROM " S2 " SET " S3 " " S4, $2, $4, $6, $7); }
  | UPDATE table_name SET assignment_list FROM table_list where_part
      { N($$, 97, "UPDATE " S1 " SET " S2 " FROM " S3 " " S4, $2, $4, $6, $7); }
  | UPDATE table_name SET assignment_list where_part { N($$, 97, "UPDATE " S1 " SET " S2 " " S3, $2, $4, $5); }
  ;

where_part: %empty { L($$, 54, ""); } | where_clause { N($$, 54, S1, $1); } ;
select_list:
    select_item { N($$, 73, S1, $1); }
  | select_list ',' select_item { N($$, 73, S1 ", " S2, $1, $3); }
  | '*' { L($$, 73, "*"); }
  ;
table_expression:
    where_part group_part having_part union_part order_part { N($$, 86, S1 " " S2 " " S3 " " S4 " " S5, $1, $2, $3, $4, $5); }
  | FROM table_list where_part group_part having_part union_part order_part
      { N($$, 86, "FROM " S1 " " S2 " " S3 " " S4 " " S5 " " S6, $2, $3, $4, $5, $6, $7); }
  ;
table_list: table_element { N($$, 90, S1, $1); } | table_list ',' table_element { N($$, 90, S1 ", " S2, $1, $3); } ;
table_element:
    table_reference { N($$, 89, S1, $1); }
  | outer_join_escape { N($$, 89, S1, $1); }
  | table_primary { N($$, 89, S1, $1); }
  ;
table_reference:
    table_name { N($$, 46, S1, $1); }
  | table_name as_option table_alias { N($$, 46, S1 " " S2 " " S3, $1, $2, $3); }
  ;
table_primary:
    joined_table { N($$, 29, S1, $1); }
  | '(' query_specification ')' as_option table_alias order_part { N($$, 29, "( " S1 " ) " S2 " " S3 " " S4, $2, $4, $5, $6); }
  | '(' table_primary ')' { N($$, 29, "( " S1 " )", $2); }
  ;
joined_table:
    table_element join_type JOIN table_element ON condition { N($$, 62, S1 " " S2 " JOIN " S3 " ON " S4, $1, $2, $4, $6); }
  ;
join_type: INNER { PTNode *k; L(k, 27, "INNER"); N($$, 30, S1, k); } | outer_side outer_option { N($$, 30, S1 " " S2, $1, $2); } ;
outer_side: LEFT { L($$, 56, "LEFT"); } | RIGHT { L($$, 56, "RIGHT"); } | FULL { L($$, 56, "FULL"); } ;
outer_option: %empty { L($$, 51, ""); } | OUTER { L($$, 51, "OUTER"); } ;
where_clause: WHERE condition { N($$, 101, "WHERE " S1, $2); } ;
group_part: %empty { L($$, 47, ""); } | GROUP BY column_list { N($$, 47, "GROUP BY " S1, $3); } ;
column_list: column_reference { N($$, 12, S1, $1); } | column_list ',' column_reference { N($$, 12, S1 ", " S2, $1, $3); } ;
having_part: %empty { L($$, 48, ""); } | HAVING condition { N($$, 48, "HAVING " S1, $2); } ;
order_part: %empty { L($$, 50, ""); } | order_clause { N($$, 50, S1, $1); } ;
union_part: %empty { L($$, 52, ""); } | union_clause { N($$, 52, S1, $1); } ;
insert_columns: %empty { L($$, 45, ""); } | '(' column_list ')' { N($$, 45, "( " S1 " )", $2); } ;
union_clause:
    UNION query_specification { N($$, 94, "UNION " S1, $2); }
  | UNION ALL query_specification { N($$, 94, "UNION ALL " S1, $3); }
  ;
order_clause: ORDER BY order_list { N($$, 55, "ORDER BY " S1, $3); } ;
order_list: order_item { N($$, 81, S1, $1); } | order_list ',' order_item { N($$, 81, S1 ", " S2, $1, $3); } ;
order_item:
    integer direction { N($$, 80, S1 " " S2, $1, $2); }
  | column_reference direction { N($$, 80, S1 " " S2, $1, $2); }
  ;
direction: %empty { L($$, 44, ""); } | ASC { L($$, 44, "ASC"); } | DESC { L($$, 44, "DESC"); } ;

condition:
    %empty { L($$, 68, ""); }
  | condition OR condition { N($$, 68, S1 " OR " S2, $1, $3); }
  | condition AND condition { N($$, 68, S1 " AND " S2, $1, $3); }
  | NOT condition { N($$, 68, "NOT " S1, $2); }
  | '(' condition ')' { N($$, 68, "( " S1 " )", $2); }
  | predicate { N($$, 68, S1, $1); }
  ;
predicate:
    comparison { N($$, 59, S1, $1); }
  | between_predicate { N($$, 59, S1, $1); }
  | like_predicate { N($$, 59, S1, $1); }
  | null_predicate { N($$, 59, S1, $1); }
  | in_predicate { N($$, 59, S1, $1); }
  | quantified_comparison { N($$, 59, S1, $1); }
  | exists_predicate { N($$, 59, S1, $1); }
  | outer_join_predicate { N($$, 59, S1, $1); }
  ;
outer_join_predicate:
    column_reference outer_join_operator column_reference { N($$, 84, S1 " " S2 " " S3, $1, $2, $3); }
  ;
/* A right side that is nothing but a subquery is the subquery itself, not
 * an expression around it. */
comparison:
    expression comparison_operator expression { N($$, 14, S1 " " S2 " " S3, $1, $2, BareSubquery($3)); }
  ;
between_predicate:
    expression NOT BETWEEN expression AND expression { N($$, 6, S1 " NOT BETWEEN " S2 " AND " S3, $1, $4, $6); }
  | expression BETWEEN expression AND expression { N($$, 6, S1 " BETWEEN " S2 " AND " S3, $1, $3, $5); }
  ;
like_predicate:
    expression NOT LIKE like_pattern like_escape { N($$, 31, S1 " NOT LIKE " S2 " " S3, $1, $4, $5); }
  | expression LIKE like_pattern like_escape { N($$, 31, S1 " LIKE " S2 " " S3, $1, $3, $4); }
  ;
like_escape:
    %empty { L($$, 49, ""); }
  | escape_clause { N($$, 49, S1, $1); }
  | vendor_open escape_clause vendor_close { N($$, 49, S1 " " S2 " " S3, $1, $2, $3); }
  | open_brace escape_clause close_brace { N($$, 49, S1 " " S2 " " S3, $1, $2, $3); }
  ;
escape_clause: ESCAPECL { L($$, 21, $1->text); } ;
null_predicate:
    column_reference IS NOT NULLX { N($$, 33, S1 " IS NOT NULL", $1); }
  | column_reference IS NULLX { N($$, 33, S1 " IS NULL", $1); }
  | value IS NOT NULLX { N($$, 33, S1 " IS NOT NULL", $1); }
  | value IS NULLX { N($$, 33, S1 " IS NULL", $1); }
  ;
in_predicate:
    expression NOT IN subquery { N($$, 26, S1 " NOT IN " S2, $1, $4); }
  | expression IN subquery { N($$, 26, S1 " IN " S2, $1, $3); }
  | expression NOT IN '(' value_list ')' { N($$, 26, S1 " NOT IN ( " S2 " )", $1, $5); }
  | expression IN '(' value_list ')' { N($$, 26, S1 " IN ( " S2 " )", $1, $4); }
  ;
value_list: value { N($$, 99, S1, $1); } | value_list ',' value { N($$, 99, S1 ", " S2, $1, $3); } ;
quantified_comparison:
    expression comparison_operator quantifier subquery { N($$, 66, S1 " " S2 " " S3 " " S4, $1, $2, $3, $4); }
  ;
quantifier: ANY { L($$, 2, "ANY"); } | ALL { L($$, 2, "ALL"); } ;
exists_predicate: EXISTS subquery { N($$, 22, "EXISTS " S1, $2); } ;
subquery:
    '(' SELECT set_quantifier select_list FROM table_list where_part group_part having_part ')'
      { N($$, 85, "( SELECT " S1 " " S2 " FROM " S3 " " S4 " " S5 " " S6 " )", $3, $4, $6, $7, $8, $9); }
  ;

expression:
    term { N($$, 23, S1, $1); }
  | expression CONCAT term { N($$, 23, S1 " || " S2, $1, $3); }
  | expression '+' term { N($$, 23, S1 " + " S2, $1, $3); }
  | expression '-' term { N($$, 23, S1 " - " S2, $1, $3); }
  | simple_case { N($$, 23, S1, $1); }
  | searched_case { N($$, 23, S1, $1); }
  ;
term:
    factor { N($$, 91, S1, $1); }
  | term '*' factor { N($$, 91, S1 " * " S2, $1, $3); }
  | term '/' factor { N($$, 91, S1 " / " S2, $1, $3); }
  ;
factor: primary { N($$, 24, S1, $1); } | '+' primary { N($$, 24, "+" S1, $2); } | '-' primary { N($$, 24, "-" S1, $2); } ;
primary:
    column_reference { N($$, 60, S1, $1); }
  | parameter { N($$, 60, S1, $1); }
  | literal { N($$, 60, S1, $1); }
  | function_escape { N($$, 60, S1, $1); }
  | function_call { N($$, 60, S1, $1); }
  | aggregate { N($$, 60, S1, $1); }
  | USER { PTNode *k; L(k, 60, "USER"); $$ = k; }
  | subquery { N($$, 60, S1, $1); }
  | '(' expression ')' { N($$, 60, "( " S1 " )", $2); }
  ;
as_option: %empty { L($$, 43, ""); } | AS { L($$, 43, "AS"); } ;
select_item:
    expression { N($$, 75, S1, $1); }
  | expression as_option item_alias { N($$, 75, S1 " " S2 " " S3, $1, $2, $3); }
  | select_prefix { N($$, 75, S1 ".*", $1); }
  ;
value: parameter { N($$, 98, S1, $1); } | literal { N($$, 98, S1, $1); } | USER { L($$, 98, "USER"); } ;
like_pattern: parameter { N($$, 58, S1, $1); } | STRING { L($$, 58, $1->text); } | USER { L($$, 58, "USER"); } ;
aggregate:
    AGGNAME '(' '*' ')' { L($$, 76, "COUNT (*)"); }
  | AGGNAME '(' DISTINCT column_reference ')' { PTNode *a; a = MakeLeaf(st, 1, $1->text); N($$, 76, S1 "( DISTINCT " S2 " )", a, $4); }
  | AGGNAME '(' expression ')' { PTNode *a; a = MakeLeaf(st, 1, $1->text); N($$, 76, S1 "( " S2 " )", a, $3); }
  ;
literal:
    STRING { L($$, 32, $1->text); }
  | integer { N($$, 32, S1, $1); }
  | DECNUM { L($$, 32, $1->text); }
  | FLOATNUM { L($$, 32, $1->text); }
  | datetime_escape { N($$, 32, S1, $1); }
  | HEXNUM { L($$, 7, $1->text); }
  ;

/* Table names: every name a leaf, the table part of type 87, owner 57,
 * qualifier 63; a leading name@link pair is one 63 node over two 64 leaves;
 * a trailing link is a 63 leaf. */
table_name:
    table_identifier { N($$, 88, S1, $1); }
  | NAME '.' NAME { PTNode *a, *b; a = MakeLeaf(st, 57, $1->text); b = MakeLeaf(st, 87, $3->text); N($$, 88, S1 "." S2, a, b); }
  | NAME '.' '.' NAME { PTNode *a, *b; a = MakeLeaf(st, 63, $1->text); b = MakeLeaf(st, 87, $4->text); N($$, 88, S1 ".." S2, a, b); }
  | NAME '.' NAME '.' NAME
      { PTNode *a, *b, *c; a = MakeLeaf(st, 63, $1->text); b = MakeLeaf(st, 57, $3->text); c = MakeLeaf(st, 87, $5->text); N($$, 88, S1 "." S2 "." S3, a, b, c); }
  | NAME '@' NAME { PTNode *a, *b; a = MakeLeaf(st, 87, $1->text); b = MakeLeaf(st, 63, $3->text); N($$, 88, S1 "@" S2, a, b); }
  | NAME '.' NAME '@' NAME
      { PTNode *a, *b, *c; a = MakeLeaf(st, 57, $1->text); b = MakeLeaf(st, 87, $3->text); c = MakeLeaf(st, 63, $5->text); N($$, 88, S1 "." S2 "@" S3, a, b, c); }
  | NAME ':' NAME { PTNode *a, *b; a = MakeLeaf(st, 63, $1->text); b = MakeLeaf(st, 87, $3->text); N($$, 88, S1 ":" S2, a, b); }
  | NAME '@' NAME ':' NAME
      { PTNode *a, *b, *q, *t; a = MakeLeaf(st, 64, $1->text); b = MakeLeaf(st, 64, $3->text); q = MakeNode(st, 63, S1 "@" S2, {a, b});
        t = MakeLeaf(st, 87, $5->text); N($$, 88, S1 ":" S2, q, t); }
  | NAME ':' NAME '.' NAME
      { PTNode *a, *b, *c; a = MakeLeaf(st, 63, $1->text); b = MakeLeaf(st, 57, $3->text); c = MakeLeaf(st, 87, $5->text); N($$, 88, S1 ":" S2 "." S3, a, b, c); }
  | NAME '@' NAME ':' NAME '.' NAME
      { PTNode *a, *b, *q, *o, *t; a = MakeLeaf(st, 64, $1->text); b = MakeLeaf(st, 64, $3->text); q = MakeNode(st, 63, S1 "@" S2, {a, b});
        o = MakeLeaf(st, 57, $5->text); t = MakeLeaf(st, 87, $7->text); N($$, 88, S1 ":" S2 "." S3, q, o, t); }
  ;
/* A select item NAME.* and the like: the table-name forms without a
 * trailing link, followed by ".*" (spelt out so that the parser need not
 * decide between a prefix and a column before it sees the "*"). */
select_prefix:
    NAME '.' '*' { PTNode *a; a = MakeLeaf(st, 87, $1->text); N($$, 88, S1, a); }
  | NAME '.' NAME '.' '*' { PTNode *a, *b; a = MakeLeaf(st, 57, $1->text); b = MakeLeaf(st, 87, $3->text); N($$, 88, S1 "." S2, a, b); }
  | NAME '.' NAME '.' NAME '.' '*'
      { PTNode *a, *b, *c; a = MakeLeaf(st, 63, $1->text); b = MakeLeaf(st, 57, $3->text); c = MakeLeaf(st, 87, $5->text); N($$, 88, S1 "." S2 "." S3, a, b, c); }
  | NAME '.' '.' NAME '.' '*' { PTNode *a, *b; a = MakeLeaf(st, 63, $1->text); b = MakeLeaf(st, 87, $4->text); N($$, 88, S1 ".." S2, a, b); }
  | NAME ':' NAME '.' '*' { PTNode *a, *b; a = MakeLeaf(st, 63, $1->text); b = MakeLeaf(st, 87, $3->text); N($$, 88, S1 ":" S2, a, b); }
  | NAME ':' NAME '.' NAME '.' '*'
      { PTNode *a, *b, *c; a = MakeLeaf(st, 63, $1->text); b = MakeLeaf(st, 57, $3->text); c = MakeLeaf(st, 87, $5->text); N($$, 88, S1 ":" S2 "." S3, a, b, c); }
  | NAME '@' NAME ':' NAME '.' '*'
      { PTNode *a, *b, *q, *t; a = MakeLeaf(st, 64, $1->text); b = MakeLeaf(st, 64, $3->text); q = MakeNode(st, 63, S1 "@" S2, {a, b});
        t = MakeLeaf(st, 87, $5->text); N($$, 88, S1 ":" S2, q, t); }
  | NAME '@' NAME ':' NAME '.' NAME '.' '*'
      { PTNode *a, *b, *q, *o, *t; a = MakeLeaf(st, 64, $1->text); b = MakeLeaf(st, 64, $3->text); q = MakeNode(st, 63, S1 "@" S2, {a, b});
        o = MakeLeaf(st, 57, $5->text); t = MakeLeaf(st, 87, $7->text); N($$, 88, S1 ":" S2 "." S3, q, o, t); }
  ;
column_reference:
    column_name { N($$, 11, S1, $1); }
  | NAME '.' NAME { PTNode *a, *b; a = MakeLeaf(st, 87, $1->text); b = MakeLeaf(st, 10, $3->text); N($$, 11, S1 "." S2, a, b); }
  | NAME '.' NAME '.' NAME
      { PTNode *a, *b, *c; a = MakeLeaf(st, 57, $1->text); b = MakeLeaf(st, 87, $3->text); c = MakeLeaf(st, 10, $5->text); N($$, 11, S1 "." S2 "." S3, a, b, c); }
  ;
table_identifier: NAME { L($$, 87, $1->text); } ;
column_name: NAME { L($$, 10, $1->text); } ;
item_alias: NAME { L($$, 9, $1->text); } ;
cursor_name: NAME { L($$, 16, $1->text); } ;
parameter: PARAM { L($$, 20, "?"); } ;
table_alias: NAME { L($$, 15, $1->text); } ;
integer: INTNUM { L($$, 95, $1->text); } ;
comparison_operator: CMPOP { L($$, 13, $1->text); } ;
outer_join_operator: OJOP { L($$, 56, $1->text); } ;

datetime_escape:
    date_escape { N($$, 35, S1, $1); }
  | time_escape { N($$, 35, S1, $1); }
  | timestamp_escape { N($$, 35, S1, $1); }
  ;
date_escape:
    vendor_open date_literal vendor_close { N($$, 34, S1 " " S2 " " S3, $1, $2, $3); }
  | open_brace date_literal close_brace { N($$, 34, S1 " " S2 " " S3, $1, $2, $3); }
  ;
time_escape:
    vendor_open time_literal vendor_close { N($$, 40, S1 " " S2 " " S3, $1, $2, $3); }
  | open_brace time_literal close_brace { N($$, 40, S1 " " S2 " " S3, $1, $2, $3); }
  ;
timestamp_escape:
    vendor_open timestamp_literal vendor_close { N($$, 41, S1 " " S2 " " S3, $1, $2, $3); }
  | open_brace timestamp_literal close_brace { N($$, 41, S1 " " S2 " " S3, $1, $2, $3); }
  ;
date_literal: DATELIT { L($$, 17, $1->text); } ;
time_literal: TIMELIT { L($$, 92, $1->text); } ;
timestamp_literal: TSLIT { L($$, 93, $1->text); } ;
outer_join_escape:
    open_brace OJ joined_table close_brace { N($$, 38, S1 " oj " S2 " " S3, $1, $3, $4); }
  | vendor_open OJ joined_table vendor_close { N($$, 38, S1 " oj " S2 " " S3, $1, $3, $4); }
  ;
function_escape:
    open_brace FN function_call close_brace { N($$, 39, S1 " fn " S2 " " S3, $1, $3, $4); }
  | vendor_open FN function_call vendor_close { N($$, 39, S1 " fn " S2 " " S3, $1, $3, $4); }
  ;
function_call: function_name '(' argument_list ')' { N($$, 67, S1 "( " S2 " )", $1, $3); } ;
function_name: NAME { L($$, 25, $1->text); } ;
argument_list:
    %empty { L($$, 3, ""); }
  | expression { N($$, 3, S1, $1); }
  | expression ',' argument_list { N($$, 3, S1 ", " S2, $1, $3); }
  | expression FROM expression { N($$, 3, S1 " FROM " S2, $1, $3); }
  | expression IN expression { N($$, 3, S1 " IN " S2, $1, $3); }
  ;
open_brace: LBRACE { L($$, 36, "{"); } ;
close_brace: RBRACE { L($$, 37, "}"); } ;
vendor_open: VOPEN { L($$, 36, " --(* VENDOR(Microsoft), PRODUCT(ODBC) "); } ;
vendor_close: VCLOSE { L($$, 37, " *)--"); } ;

simple_case: CASE expression simple_when_list END { N($$, 77, "CASE " S1 " " S2 " END", $2, $3); } ;
simple_when_list: simple_when { N($$, 78, S1, $1); } | simple_when_list simple_when { N($$, 78, S1 " " S2, $1, $2); } ;
simple_when:
    WHEN expression THEN expression { N($$, 79, "WHEN " S1 " THEN " S2, $2, $4); }
  | ELSE expression { N($$, 79, "ELSE " S1, $2); }
  ;
searched_case: CASE searched_when_list END { N($$, 69, "CASE " S1 " END", $2); } ;
searched_when_list: searched_when { N($$, 70, S1, $1); } | searched_when_list searched_when { N($$, 70, S1 " " S2, $1, $2); } ;
searched_when:
    WHEN condition THEN expression { N($$, 71, "WHEN " S1 " THEN " S2, $2, $4); }
  | ELSE expression { N($$, 71, "ELSE " S1, $2); }
  ;

%%
