// The Khronos glTF validator over each file named: one summary line per
// file, then one line per issue. Exit status 1 when any file has an error.
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

const severities = ['error', 'warning', 'info', 'hint'];

(async () => {
  let errors = 0;
  for (const file of process.argv.slice(2)) {
    const bytes = new Uint8Array(fs.readFileSync(file));
    const report = await validator.validateBytes(bytes, {uri: path.basename(file), maxIssues: 0});
    const issues = report.issues;
    console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
                `${issues.numInfos} infos, ${issues.numHints} hints (validator ${report.validatorVersion})`);
    for (const m of issues.messages)
      console.log(`  ${severities[m.severity]} ${m.code} ${m.pointer || ''}: ${m.message}`);
    errors += issues.numErrors;
  }
  process.exit(errors > 0 ? 1 : 0);
})().catch((e) => {
  console.error(`gltf-validate: ${e}`);
  process.exit(1);
});
