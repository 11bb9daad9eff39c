// Node's odbc package through unixODBC with both drivers: connect, a query
// with parameters, a transaction rolled back and one committed, close(), and
// a pool's query and close(). Run by node_odbc.sh (ini files in place).
const odbc = require('odbc');

async function run(dsn) {
  const cs = `DSN=${dsn};UID=scott;PWD=tiger`;
  const table = `node_${dsn}`;
  const conn = await odbc.connect(cs);
  await conn.query(`create table ${table} (k number(5), v varchar2(20))`);
  await conn.query(`insert into ${table} values (?, ?)`, [1, 'one']);
  let rows = await conn.query(`select k, v from ${table} where k = ?`, [1]);
  if (rows.length !== 1 || Number(rows[0].K) !== 1 || rows[0].V !== 'one')
    throw new Error(`${dsn}: query with parameters gave ${JSON.stringify(rows)}`);

  await conn.beginTransaction();
  await conn.query(`insert into ${table} values (?, ?)`, [2, 'two']);
  await conn.rollback();
  await conn.beginTransaction();
  await conn.query(`insert into ${table} values (?, ?)`, [3, 'three']);
  await conn.commit();
  rows = await conn.query(`select k from ${table} order by k`);
  const keys = rows.map((r) => Number(r.K)).join(',');
  if (keys !== '1,3') throw new Error(`${dsn}: after rollback and commit the keys are ${keys}, want 1,3`);
  await conn.close();

  const pool = await odbc.pool({ connectionString: cs, initialSize: 2 });
  rows = await pool.query(`select count(*) as n from ${table}`);
  if (Number(rows[0].N) !== 2) throw new Error(`${dsn}: pool query gave ${JSON.stringify(rows)}`);
  await pool.query(`drop table ${table}`);
  await pool.close();
}

(async () => {
  for (const dsn of ['inst_w', 'inst_a']) {
    try {
      await run(dsn);
    } catch (e) {
      console.error(`FAIL ${dsn}: ${e.message} ${JSON.stringify(e.odbcErrors || [])}`);
      process.exit(1);
    }
  }
  console.log('node odbc: ok');
})();
