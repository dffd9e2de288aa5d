// node readmdb.mjs NODE_PREFIX FILE: prints the file's user tables with mdb-reader, as JSON
// [{name, rows: [[value, ...], ...]}, ...] with NULL as null and dates as ISO text.
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { pathToFileURL } from "node:url";

const [prefix, file] = process.argv.slice(2);
const entry = join(prefix, "node_modules/mdb-reader/lib/node/index.js");
const { default: MDBReader } = await import(pathToFileURL(entry));
const reader = new MDBReader(readFileSync(file));
const tables = reader.getTableNames().map((name) => {
    const table = reader.getTable(name);
    const columns = table.getColumnNames();
    const rows = table.getData().map((row) =>
        columns.map((c) => (row[c] instanceof Date ? row[c].toISOString() : row[c])));
    return { name, rows };
});
console.log(JSON.stringify(tables));
