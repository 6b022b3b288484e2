#!/usr/bin/env node
// Runs the Khronos glTF validator on each file named and prints one summary
// line per file, then every error and warning. Exits 1 when any file has an
// error or a warning, 2 when the validator is missing.
//
//   node tools/validate-gltf.cjs FILE.glb...
//
// The validator is the npm package gltf-validator; tools/install-deps.sh ci
// installs it into build/gltf-validator (TARVIK_GLTF_VALIDATOR names another
// node_modules folder).
'use strict';
const fs = require('fs');
const path = require('path');

const modules = process.env.TARVIK_GLTF_VALIDATOR ||
    path.join(__dirname, '..', 'build', 'gltf-validator', 'node_modules');
let validator;
try {
    validator = require(path.join(modules, 'gltf-validator'));
} catch (e) {
    console.error(`validate-gltf: gltf-validator not found in ${modules}; run tools/install-deps.sh ci`);
    process.exit(2);
}

async function main(files) {
    let failed = false;
    for (const file of files) {
        const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)));
        const issues = report.issues;
        console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ` +
                    `${issues.numInfos} infos, ${issues.numHints} hints`);
        for (const message of issues.messages) {
            if (message.severity <= 1) {
                console.log(`  ${message.code} ${message.pointer || ''}: ${message.message}`);
            }
        }
        failed = failed || issues.numErrors > 0 || issues.numWarnings > 0;
    }
    process.exit(failed ? 1 : 0);
}

main(process.argv.slice(2)).catch((e) => {
    console.error(`validate-gltf: ${e.message}`);
    process.exit(1);
});
