// Reads an ADIF file with the adif-parser-ts package and prints one line per field:
// record number, field name and the value's Latin-1 bytes in hex, separated by tabs.
// Usage: node read_adif.js FILE   (NODE_PATH must reach the installed package)
const fs = require('fs');
const { AdifParser } = require('adif-parser-ts');

const text = fs.readFileSync(process.argv[2], 'latin1');
const parsed = AdifParser.parseAdi(text);
parsed.records.forEach((record, i) => {
  for (const [name, value] of Object.entries(record)) {
    console.log(`${i}\t${name}\t${Buffer.from(value, 'latin1').toString('hex')}`);
  }
});
